// What a door of the streamer's controls is handed (a thanks source's name,
// an action, the gifts' JSON), checked on the caller's thread before
// anything is queued: the scripts' procedure and obs-websocket pass on
// whatever bytes their caller sent. (Free of the host's headers, for OBS's
// side, whose graphics header clashes with them.)
#pragma once

#include <string>
#include <string_view>
#include <variant>

enum class ThanksControl;  // channel/thanks_controls.h

struct ControlRequest {
    std::string action;  // one of ThanksControlNamed's names
    ThanksControl control;
    std::string gifts;  // the JSON for ThanksControl::Gifts, UTF-8
};

// The request, or the refusal to answer with ({"error": ...}, quoting what
// was given): a name, action or gifts text that is not UTF-8, an unknown
// action, "gifts" without gifts.
std::variant<ControlRequest, std::string> CheckControlRequest(std::string_view inputName, std::string_view action,
                                                              std::string_view gifts);
