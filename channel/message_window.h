// SPDX-License-Identifier: GPL-2.0-or-later
// The message window of a channel: created and announced to the logic
// assembly, and its window procedure, which decodes the messages the logic
// assembly sends and applies them to the channel's registry entry and to the
// source's settings.
//
// Wire format (what a logic assembly sends to the window number it got with
// "init:"):
//   WM_COPYDATA (74): lParam points to a COPYDATASTRUCT {dwData: command code,
//     cbData: block size in bytes, lpData: block}. The block is text: UTF-16LE
//     normally, 8-bit text in the process locale's character set while the
//     ASCII mode is on; it ends at its NUL or at cbData bytes, whichever
//     comes first. Command codes:
//       1   ShowText            the thanks text to display
//       101 SetIntSetting       "key|decimal integer"
//       102 SetStringSetting    "key|text" (the text may hold further bars)
//       103 SetColorSetting     "key|decimal colour", made opaque
//       200 LogText             a line for the host log
//       203 SetRandomForeColor  "decimal colour", made opaque
//       300 ControlAnswer       the JSON answer to the control command being
//                               run (channel/thanks_controls.h)
//       301 GiftReceived        JSON of a gift the channel took (or left
//                               out, or refused), passed on as an event
//                               (channel/channel_events.h)
//       302 ThanksShown         the text of the last code 1 is a thanks: an
//                               event once it is drawn
//   AsciiModeOn (1029) / AsciiModeOff (1030): later blocks of every window
//     are 8-bit / UTF-16 text.
//   WM_CLOSE (16): the window is destroyed.
// Every handled message is answered 0.
#pragma once

#include "channel/channel_registry.h"
#include "platform/message_window.h"

enum InboundCommand : uint64_t {
    ShowText = 1,
    SetIntSetting = 101,
    SetStringSetting = 102,
    SetColorSetting = 103,
    LogText = 200,
    SetRandomForeColor = 203,
    ControlAnswer = 300,
    GiftReceived = 301,
    ThanksShown = 302,
};

inline constexpr uint32_t AsciiModeOn = WM_USER + 5;
inline constexpr uint32_t AsciiModeOff = WM_USER + 6;

// Creates a message window owned by the calling thread and, while the runtime
// is present, announces it with "setPlatform:4" and "init:<number>" (init:0
// when the window could not be made). Returns the handle, 0 on failure.
WindowHandle CreateMessageWindow();

intptr_t MessageWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The text of a WM_COPYDATA block as the window procedure reads it, in the
// given mode. Never reads past cbData bytes.
String DecodeBlock(const COPYDATASTRUCT& block, bool asciiText);

// A new channel for a source: its window, its registry entry (owned by
// `settings`), the window number stored as the source's "innerId", and then
// the announcement, so that messages the logic assembly sends while it
// handles "init:" already find the entry. Returns the window (0 when none
// could be made; the entry is appended all the same, as "0").
WindowHandle CreateChannel(XElement* settings);
