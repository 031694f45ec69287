// SPDX-License-Identifier: GPL-2.0-or-later
// The user32 functions a logic assembly written for Windows calls, exported
// with C linkage under their Windows names; "user32.dll" in its P/Invoke
// declarations is mapped to this library. The plain, A and W names of a
// function behave the same.
#pragma once

#include "platform/message_window.h"

extern "C" {

MORVIK_PLATFORM_API intptr_t SendMessage(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);
MORVIK_PLATFORM_API intptr_t SendMessageA(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

MORVIK_PLATFORM_API int32_t PostMessage(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);
MORVIK_PLATFORM_API int32_t PostMessageA(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Nonzero when the procedure answered, its answer in `*result`; 0, with
// `*result` untouched, when the window is unknown or went away, or its owner
// did not take the message within `timeoutMs` (or was hung, with
// SMTO_ABORTIFHUNG). SMTO_NOTIMEOUTIFNOTHUNG waits on while the owner is not
// hung. The timeout covers the wait for the owner: a procedure that has
// started is waited for, as it may be reading the sender's memory.
MORVIK_PLATFORM_API intptr_t SendMessageTimeout(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                                                uint32_t flags, uint32_t timeoutMs, uintptr_t* result);
MORVIK_PLATFORM_API intptr_t SendMessageTimeoutA(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                                                 uint32_t flags, uint32_t timeoutMs, uintptr_t* result);
MORVIK_PLATFORM_API intptr_t SendMessageTimeoutW(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                                                 uint32_t flags, uint32_t timeoutMs, uintptr_t* result);

// On the owner thread the procedure runs at once; from another thread the
// message is queued and the call returns (WM_COPYDATA is refused there).
MORVIK_PLATFORM_API int32_t SendNotifyMessage(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);
MORVIK_PLATFORM_API int32_t SendNotifyMessageA(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);
MORVIK_PLATFORM_API int32_t SendNotifyMessageW(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Always 0: the plug-in's windows have no class name or title a caller could
// know; a logic assembly learns its window from "init:".
MORVIK_PLATFORM_API intptr_t FindWindow(const void* className, const void* windowName);
MORVIK_PLATFORM_API intptr_t FindWindowA(const void* className, const void* windowName);
MORVIK_PLATFORM_API intptr_t FindWindowW(const void* className, const void* windowName);
MORVIK_PLATFORM_API intptr_t FindWindowEx(intptr_t parent, intptr_t childAfter, const void* className,
                                          const void* windowName);
MORVIK_PLATFORM_API intptr_t FindWindowExA(intptr_t parent, intptr_t childAfter, const void* className,
                                           const void* windowName);
MORVIK_PLATFORM_API intptr_t FindWindowExW(intptr_t parent, intptr_t childAfter, const void* className,
                                           const void* windowName);

// The owner thread's system id, and this process's id in `*processId`; 0,
// with `*processId` untouched, for an unknown window.
MORVIK_PLATFORM_API uint32_t GetWindowThreadProcessId(intptr_t window, uint32_t* processId);

}  // extern "C"

inline constexpr uint32_t SMTO_NORMAL = 0x0;
inline constexpr uint32_t SMTO_BLOCK = 0x1;
inline constexpr uint32_t SMTO_ABORTIFHUNG = 0x2;
inline constexpr uint32_t SMTO_NOTIMEOUTIFNOTHUNG = 0x8;
inline constexpr uint32_t SMTO_ERRORONEXIT = 0x20;
