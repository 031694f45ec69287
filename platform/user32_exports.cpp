// SPDX-License-Identifier: GPL-2.0-or-later
// The user32 message functions that a logic assembly written for Windows
// calls, under every name its P/Invoke declarations make the runtime look
// for: the runtime tries the plain name first, then the A or W form its
// CharSet asks for. A and W are the same function here: none of these
// messages carries text that Windows would convert, and a WM_COPYDATA block
// is handed on byte for byte, as Windows does.
//
// SendMessageW, PostMessageW and IsWindow themselves live with the windows.
#include "platform/user32_exports.h"

#include <unistd.h>

namespace {

// SMTO_BLOCK (0x1) and SMTO_ERRORONEXIT (0x20) describe what every send does
// here: a blocked sender handles nothing meanwhile, and a window that goes
// away before answering fails the call.

intptr_t SendWithTimeout(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam, uint32_t flags,
                         uint32_t timeoutMs, uintptr_t* result) {
    SendLimits limits;
    limits.timeout = std::chrono::milliseconds(timeoutMs);
    limits.abortIfOwnerHung = (flags & SMTO_ABORTIFHUNG) != 0;
    limits.noTimeoutUnlessOwnerHung = (flags & SMTO_NOTIMEOUTIFNOTHUNG) != 0;
    intptr_t answer = 0;
    if (SendMessageLimited(window, message, wParam, lParam, limits, &answer) != SendOutcome::Handled) return 0;
    if (result) *result = static_cast<uintptr_t>(answer);
    return 1;
}

}  // namespace

extern "C" {

intptr_t SendMessage(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return SendMessageW(window, message, wParam, lParam);
}
intptr_t SendMessageA(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return SendMessageW(window, message, wParam, lParam);
}

int32_t PostMessage(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return PostMessageW(window, message, wParam, lParam);
}
int32_t PostMessageA(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return PostMessageW(window, message, wParam, lParam);
}

intptr_t SendMessageTimeout(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                                                uint32_t flags, uint32_t timeoutMs, uintptr_t* result) {
    return SendWithTimeout(window, message, wParam, lParam, flags, timeoutMs, result);
}
intptr_t SendMessageTimeoutA(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                                                 uint32_t flags, uint32_t timeoutMs, uintptr_t* result) {
    return SendWithTimeout(window, message, wParam, lParam, flags, timeoutMs, result);
}
intptr_t SendMessageTimeoutW(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                                                 uint32_t flags, uint32_t timeoutMs, uintptr_t* result) {
    return SendWithTimeout(window, message, wParam, lParam, flags, timeoutMs, result);
}

int32_t SendNotifyMessage(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return SendMessageNoWait(window, message, wParam, lParam) ? 1 : 0;
}
int32_t SendNotifyMessageA(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return SendMessageNoWait(window, message, wParam, lParam) ? 1 : 0;
}
int32_t SendNotifyMessageW(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return SendMessageNoWait(window, message, wParam, lParam) ? 1 : 0;
}

intptr_t FindWindow(const void*, const void*) { return 0; }
intptr_t FindWindowA(const void*, const void*) { return 0; }
intptr_t FindWindowW(const void*, const void*) { return 0; }
intptr_t FindWindowEx(intptr_t, intptr_t, const void*, const void*) { return 0; }
intptr_t FindWindowExA(intptr_t, intptr_t, const void*, const void*) { return 0; }
intptr_t FindWindowExW(intptr_t, intptr_t, const void*, const void*) { return 0; }

uint32_t GetWindowThreadProcessId(intptr_t window, uint32_t* processId) {
    uint32_t thread = WindowOwnerThreadId(window);
    if (thread != 0 && processId) *processId = static_cast<uint32_t>(getpid());
    return thread;
}

}  // extern "C"
