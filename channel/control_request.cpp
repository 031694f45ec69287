// SPDX-License-Identifier: GPL-2.0-or-later
#include "channel/control_request.h"

#include "channel/control_error.h"
#include "channel/thanks_controls.h"
#include "host/host_string.h"

#include <charconv>

namespace {

// The gift_id `text` holds in decimal digits, or 0.
uint64_t GiftIdOf(std::string_view text) {
    uint64_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error != std::errc() || end != text.data() + text.size() || id > kMaxGiftId) return 0;
    return id;
}

}  // namespace

std::variant<ControlRequest, std::string> CheckControlRequest(std::string_view inputName, std::string_view action,
                                                              std::string_view argument) {
    const std::string quotedName = "\"" + std::string(inputName) + "\"";
    if (!IsUtf8(inputName)) return ControlError("the input's name " + quotedName + " is not UTF-8");
    const std::string quotedAction = "\"" + std::string(action) + "\"";
    if (!IsUtf8(action)) return ControlError("the action " + quotedAction + " is not UTF-8");
    const std::optional<ThanksControl> control = ThanksControlNamed(action);
    if (!control) return ControlError("unknown action " + quotedAction);
    if (*control == ThanksControl::Again) {
        const uint64_t id = GiftIdOf(argument);
        if (id == 0)
            return ControlError("again needs the gift's number (gift_id), a whole number from 1 to " +
                                std::to_string(kMaxGiftId) + " in decimal digits; got \"" +
                                std::string(argument.substr(0, 200)) + "\"");
        return ControlRequest{std::string(action), *control, std::to_string(id)};
    }
    if (*control != ThanksControl::Gifts) return ControlRequest{std::string(action), *control, {}};
    if (argument.empty()) return ControlError("\"gifts\" is missing: give one gift object or an array of gifts");
    if (!IsUtf8(argument)) return ControlError("the gifts are not UTF-8: " + std::string(argument.substr(0, 200)));
    return ControlRequest{std::string(action), *control, std::string(argument)};
}
