// SPDX-License-Identifier: GPL-2.0-or-later
// The answer every door of the streamer's controls gives when a control
// cannot run: a JSON object {"error": "..."} naming what is wrong. What the
// message quotes may be anything a caller sent: bytes that are not UTF-8
// are written as U+FFFD.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

inline std::string ControlError(std::string_view message) {
    return nlohmann::json{{"error", message}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The error of every control when the logic assembly did not answer it: it
// does not know the vocabulary (and so announces no gifts either).
inline constexpr std::string_view kControlsUnsupported = "the logic assembly does not support this";
