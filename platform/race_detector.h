// SPDX-License-Identifier: GPL-2.0-or-later
// What ThreadSanitizer is shown of a thread while managed code runs on it.
//
// It sees only code built with it. The logic assembly's managed code runs as
// JIT code: its own loads and stores are never seen, but its copies through
// libc (memcpy and the like) are, reported as accesses of whichever function
// of ours entered the runtime, unordered by the managed locks it cannot see
// either. So while managed code runs, the thread's memory accesses are
// hidden from it (its locks and atomics still count), and while that
// managed code calls back into ours (a user32 export, a window procedure)
// they are shown again: a race in our code is reported wherever our code is
// reached from. Both are no-ops in a build without ThreadSanitizer.
#pragma once

#include "platform/message_window.h"

// Around a call into the runtime.
class MORVIK_PLATFORM_API ManagedCodeRegion {
public:
    ManagedCodeRegion();
    ~ManagedCodeRegion();
    ManagedCodeRegion(const ManagedCodeRegion&) = delete;
    ManagedCodeRegion& operator=(const ManagedCodeRegion&) = delete;

private:
    bool wasHidden_;
};

// Around our code that managed code may call.
class MORVIK_PLATFORM_API NativeCodeRegion {
public:
    NativeCodeRegion();
    ~NativeCodeRegion();
    NativeCodeRegion(const NativeCodeRegion&) = delete;
    NativeCodeRegion& operator=(const NativeCodeRegion&) = delete;

private:
    bool wasHidden_;
};
