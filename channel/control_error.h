// The answer every door of the streamer's controls gives when a control
// cannot run: a JSON object {"error": "..."} naming what is wrong.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

inline std::string ControlError(std::string_view message) { return nlohmann::json{{"error", message}}.dump(); }
