// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/race_detector.h"

#if defined(__SANITIZE_THREAD__)
#define MORVIK_RACE_DETECTOR 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MORVIK_RACE_DETECTOR 1
#endif
#endif

#ifdef MORVIK_RACE_DETECTOR
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

namespace {

// Whether this thread's accesses are hidden now.
thread_local bool hidden = false;

void Hide() {
#ifdef MORVIK_RACE_DETECTOR
    __tsan_ignore_thread_begin();
#endif
    hidden = true;
}

void Show() {
#ifdef MORVIK_RACE_DETECTOR
    __tsan_ignore_thread_end();
#endif
    hidden = false;
}

}  // namespace

ManagedCodeRegion::ManagedCodeRegion() : wasHidden_(hidden) {
    if (!wasHidden_) Hide();
}

ManagedCodeRegion::~ManagedCodeRegion() {
    if (!wasHidden_) Show();
}

NativeCodeRegion::NativeCodeRegion() : wasHidden_(hidden) {
    if (wasHidden_) Show();
}

NativeCodeRegion::~NativeCodeRegion() {
    if (wasHidden_) Hide();
}
