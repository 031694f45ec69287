// SPDX-License-Identifier: GPL-2.0-or-later
// What a door of the streamer's controls is handed (a thanks source's name,
// an action, its argument: the gifts' JSON, or a gift's number), checked on
// the caller's thread before anything is queued: the scripts' procedure and
// obs-websocket pass on whatever bytes their caller sent. (Free of the
// host's headers, for OBS's side, whose graphics header clashes with them.)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

enum class ThanksControl;  // channel/thanks_controls.h

struct ControlRequest {
    std::string action;  // one of ThanksControlNamed's names
    ThanksControl control;
    // For ThanksControl::Gifts the JSON, UTF-8; for ThanksControl::Again the
    // gift_id in decimal, without leading zeros; empty for the others.
    std::string argument;
};

// The largest gift_id: every JSON reader keeps whole numbers up to it exact.
inline constexpr uint64_t kMaxGiftId = (uint64_t{1} << 53) - 1;

// The request, or the refusal to answer with ({"error": ...}, quoting what
// was given): a name, action or gifts text that is not UTF-8, an unknown
// action, "gifts" without gifts, "again" without a gift_id from 1 to
// kMaxGiftId in decimal digits.
std::variant<ControlRequest, std::string> CheckControlRequest(std::string_view inputName, std::string_view action,
                                                              std::string_view argument);
