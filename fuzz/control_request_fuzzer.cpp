// SPDX-License-Identifier: GPL-2.0-or-later
// The three strings of the scripts' control procedure (an input's name, an
// action, the gifts' JSON or a gift_id) as any caller may send them, bytes
// that are not UTF-8 included: the check never throws, a refusal is one JSON
// object {"error": ...} in UTF-8, and a request it lets through holds a
// known action and UTF-8 only, an "again" a gift_id from 1 to kMaxGiftId.
#include "channel/control_request.h"
#include "channel/thanks_controls.h"
#include "host/host_string.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string input = in.ConsumeRandomLengthString(300);
    const std::string action = in.ConsumeRandomLengthString(40);
    const std::string argument = in.ConsumeRandomLengthString(70000);

    const std::variant<ControlRequest, std::string> checked = CheckControlRequest(input, action, argument);
    if (const std::string* refusal = std::get_if<std::string>(&checked)) {
        if (!IsUtf8(*refusal)) std::abort();
        const nlohmann::json answer = nlohmann::json::parse(*refusal, nullptr, false);
        if (!answer.is_object() || answer.size() != 1 || !answer.contains("error") || !answer["error"].is_string())
            std::abort();
        return 0;
    }
    const ControlRequest& request = std::get<ControlRequest>(checked);
    if (!IsUtf8(input) || !IsUtf8(request.argument) || ThanksControlNamed(request.action) != request.control)
        std::abort();
    if (request.control == ThanksControl::Again) {
        if (request.argument.empty() || request.argument[0] == '0' ||
            request.argument.find_first_not_of("0123456789") != std::string::npos ||
            std::stoull(request.argument) > kMaxGiftId)
            std::abort();
    } else if (request.control != ThanksControl::Gifts && !request.argument.empty()) {
        std::abort();
    }
    return 0;
}
