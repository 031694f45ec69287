// SPDX-License-Identifier: GPL-2.0-or-later
// The streamer's controls of a source's thanks (test, skip, pause, resume,
// clear, gifts, again, state), the same from every host door. Each is a
// command to the logic assembly, which answers with one ControlAnswer
// message to the channel's window while the command runs:
//
//   "test:N"        a sample gift through the channel's engine
//   "skip:N"        the thanks on screen ends now
//   "pause:N"       nothing new shows until "resume:N"
//   "resume:N"
//   "clear:N"       the waiting thanks are dropped
//   "gifts:N|JSON"  JSON is a body of the gift endpoint (a gift or an array)
//   "again:N|ID"    the gift numbered ID (the "gift_id" of its GiftReceived),
//                   one of the last 1,000 the channel took, thanked again
//                   as a test gift is
//   "state:N"
//
// N is the channel's window number. The answer (WM_COPYDATA code 300, text
// in the channel's mode) is one JSON object: the channel's state
// {"queued", "showing", "paused", "received"} ("cleared" added for clear,
// "managed_heap_bytes", the assembly's collected heap, for state),
// {"accepted", "duplicates"} for gifts, or {"error": "..."} (for again: a
// gift no longer kept, a hidden source, a full queue). An assembly that
// sends no answer during the command does not know the vocabulary.
#pragma once

#include "channel/control_error.h"
#include "host/OBSApi.h"

#include <optional>
#include <string>
#include <string_view>

enum class ThanksControl { Test, Skip, Pause, Resume, Clear, Gifts, Again, State };

// The control a name stands for ("test", "skip", "pause", "resume", "clear",
// "gifts", "again", "state"), or none.
std::optional<ThanksControl> ThanksControlNamed(std::string_view name);

// Runs `control` for the source whose settings these are, on the thread that
// owns its channel's window, and returns the answer: the assembly's JSON
// object, or {"error": "..."} when the source has no channel, the runtime is
// not there, or the assembly does not know the command. `argument` is the
// JSON for ThanksControl::Gifts, the gift_id in decimal for
// ThanksControl::Again (control_request.h checks both).
std::string RunThanksControl(XElement* settings, ThanksControl control, const std::string& argument = {});

// The window procedure's part: takes `answer` (code 300) when it is for the
// control running on `window`; an answer at any other time is dropped.
void TakeControlAnswer(WindowHandle window, const String& answer);
