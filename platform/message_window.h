// SPDX-License-Identifier: GPL-2.0-or-later
// Message windows: endpoints that stand in for hidden Win32 windows. Each has
// a window procedure that runs only on the thread that created the window;
// other threads reach it through the Win32-shaped SendMessageW/PostMessageW C
// ABI, which queues their messages until that thread pumps.
#pragma once

#include "host/host_types.h"

#include <chrono>
#include <cstddef>
#include <cstdint>

#define MORVIK_PLATFORM_API __attribute__((visibility("default")))

inline constexpr uint32_t WM_DESTROY = 2;
inline constexpr uint32_t WM_CLOSE = 0x10;
inline constexpr uint32_t WM_COPYDATA = 0x4A;
inline constexpr uint32_t WM_USER = 0x400;

// The window number of a handle: its low 32 bits read as a signed integer.
inline int32_t WindowNumber(WindowHandle window) { return static_cast<int32_t>(static_cast<uint32_t>(window)); }

using WindowProc = intptr_t (*)(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

extern "C" {

// The block of a WM_COPYDATA message, in the 64-bit layout that logic
// assemblies written for Windows marshal: lParam points to one.
struct COPYDATASTRUCT {
    uint64_t dwData;  // command code
    uint32_t cbData;  // size of the block in bytes
    void* lpData;     // the block
};

// `window` is matched on its low 32 bits only: callers pass the window number
// sign-extended to pointer size (new IntPtr(number) in C#), not the handle.
//
// On the window's own thread the procedure runs at once and its result is
// returned. From any other thread the message is queued and the call blocks
// until the owner thread's pump has handled it (its result) or the window is
// destroyed (0). A thread blocked here handles nothing meanwhile, so two
// threads that own windows must not send to each other synchronously. 0 for
// an unknown window.
MORVIK_PLATFORM_API intptr_t SendMessageW(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Queues the message for the owner thread's next pump and returns 1 at once;
// 0 for an unknown window or WM_COPYDATA, whose block would not outlive the call.
MORVIK_PLATFORM_API int32_t PostMessageW(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// 1 while the window with this number exists and is not being destroyed.
MORVIK_PLATFORM_API int32_t IsWindow(intptr_t window);

}  // extern "C"

// Why a send did or did not reach the window procedure.
enum class SendOutcome {
    Handled,     // the procedure ran; its result is the answer
    NoWindow,    // no live window has this number
    WindowGone,  // the window was destroyed, or its thread ended, before its owner took the message
    TimedOut,    // the owner did not take the message within the timeout; it was withdrawn
    OwnerHung,   // asked to give up on a hung owner, and it is one
};

// Limits on how long a cross-thread send waits for the owner thread to take
// the message off its queue. Once the procedure has started, the sender waits
// for it to return, whatever the timeout: lParam may point into the sender's
// memory, which must outlive the call.
struct SendLimits {
    std::chrono::milliseconds timeout = std::chrono::milliseconds::max();
    bool abortIfOwnerHung = false;        // give up at once on an owner that is hung
    bool noTimeoutUnlessOwnerHung = false;  // keep waiting past the timeout while the owner is not hung
};

// An owner thread is hung while it has neither pumped nor waited for messages
// for this long, as Windows judges it.
inline constexpr std::chrono::milliseconds kOwnerHungAfter{5000};

// SendMessageW with limits. `*result` is written only when the outcome is
// Handled.
MORVIK_PLATFORM_API SendOutcome SendMessageLimited(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                                                   const SendLimits& limits, intptr_t* result);

// On the window's own thread, runs the procedure at once; from another thread,
// queues the message and returns without waiting. False for an unknown window,
// and for WM_COPYDATA from another thread, whose block would not outlive the call.
MORVIK_PLATFORM_API bool SendMessageNoWait(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The system thread id (gettid) of the thread that owns the window; 0 for an
// unknown window.
MORVIK_PLATFORM_API uint32_t WindowOwnerThreadId(intptr_t window);

static_assert(sizeof(void*) == 8, "the message ABI is the 64-bit one");
static_assert(offsetof(COPYDATASTRUCT, cbData) == 8);
static_assert(offsetof(COPYDATASTRUCT, lpData) == 16);
static_assert(sizeof(COPYDATASTRUCT) == 24);

// Creates a window for `procedure`, owned by the calling thread. Its handle is
// a positive number below 2^31, unique among live windows; never 0.
MORVIK_PLATFORM_API WindowHandle CreatePlatformWindow(WindowProc procedure);

// Test seam: creates the window under a chosen handle, so that handles whose
// number is negative (bit 31 set) or whose upper half is not zero can be
// tried. 0 when the handle's number is 0 or taken by a live window.
MORVIK_PLATFORM_API WindowHandle CreatePlatformWindowWithHandle(WindowProc procedure, WindowHandle handle);

// Sends WM_DESTROY to the procedure, then removes the window: its queued
// messages are dropped and their blocked senders get 0, and its procedure is
// never called again. A procedure may destroy its own window, on WM_CLOSE for
// instance. Only the owner thread may destroy a window (as on Windows); false
// from another thread, for an unknown window, or one already being destroyed.
MORVIK_PLATFORM_API bool DestroyWindow(WindowHandle window);

// Destroys every window whose procedure lives in the loaded module that holds
// `addressInModule`, so that the module can be unloaded: afterwards nothing
// can call into it. The calling thread's windows get WM_DESTROY as with
// DestroyWindow; windows of other threads are removed without it (their
// procedure must not run on this thread), after any call into them that is in
// progress has returned. Returns the number of windows destroyed.
MORVIK_PLATFORM_API size_t DestroyWindowsOfModule(const void* addressInModule);

// Handles the messages queued for the calling thread's windows, one at a time
// in the order they were sent. Messages that arrive meanwhile wait for the next
// pump, so a procedure that posts to its own window cannot keep a pump going
// forever. Returns the number handled.
MORVIK_PLATFORM_API size_t PumpMessages();

// Blocks until a message is queued for the calling thread's windows or the
// timeout passes; true when one is queued.
MORVIK_PLATFORM_API bool WaitForMessages(std::chrono::milliseconds timeout);

// Has `notify(context)` called each time a message is queued for one of the
// calling thread's windows, so that a thread that waits for other work than
// messages (a job queue) can pump at once instead of at its next turn. It is
// called on the queuing thread with the platform's lock held: it may only
// signal, never call into this layer. One per thread, for as long as the
// thread runs; a null `notify` removes it.
MORVIK_PLATFORM_API void SetMessageArrivalNotice(void (*notify)(void* context), void* context);
