#include "channel/control_request.h"

#include "channel/control_error.h"
#include "channel/thanks_controls.h"
#include "host/host_string.h"

std::variant<ControlRequest, std::string> CheckControlRequest(std::string_view inputName, std::string_view action,
                                                              std::string_view gifts) {
    const std::string quotedName = "\"" + std::string(inputName) + "\"";
    if (!IsUtf8(inputName)) return ControlError("the input's name " + quotedName + " is not UTF-8");
    const std::string quotedAction = "\"" + std::string(action) + "\"";
    if (!IsUtf8(action)) return ControlError("the action " + quotedAction + " is not UTF-8");
    const std::optional<ThanksControl> control = ThanksControlNamed(action);
    if (!control) return ControlError("unknown action " + quotedAction);
    if (*control != ThanksControl::Gifts) return ControlRequest{std::string(action), *control, {}};
    if (gifts.empty()) return ControlError("\"gifts\" is missing: give one gift object or an array of gifts");
    if (!IsUtf8(gifts)) return ControlError("the gifts are not UTF-8: " + std::string(gifts.substr(0, 200)));
    return ControlRequest{std::string(action), *control, std::string(gifts)};
}
