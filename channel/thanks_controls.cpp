// SPDX-License-Identifier: GPL-2.0-or-later
#include "channel/thanks_controls.h"

#include "bridge/runtime_host.h"
#include "channel/process_state.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<std::string_view, ThanksControl>, 8> kNames{{
    {"test", ThanksControl::Test},
    {"skip", ThanksControl::Skip},
    {"pause", ThanksControl::Pause},
    {"resume", ThanksControl::Resume},
    {"clear", ThanksControl::Clear},
    {"gifts", ThanksControl::Gifts},
    {"again", ThanksControl::Again},
    {"state", ThanksControl::State},
}};

// The control being run and the answer it got. Controls run one at a time on
// the thread that owns the windows, and the answer arrives on that thread
// inside the command call, so no lock is needed.
struct PendingControl {
    WindowHandle window = 0;
    std::optional<String> answer;
};
PendingControl* running = nullptr;

String CommandText(ThanksControl control, WindowHandle window, const std::string& argument) {
    String text;
    for (const auto& [name, named] : kNames)
        if (named == control) text = String(std::string(name).c_str());
    text << u":" << WindowNumber(window);
    if (control == ThanksControl::Gifts || control == ThanksControl::Again) text << u"|" << String(argument.c_str());
    return text;
}

}  // namespace

std::optional<ThanksControl> ThanksControlNamed(std::string_view name) {
    for (const auto& [known, control] : kNames)
        if (known == name) return control;
    return std::nullopt;
}

std::string RunThanksControl(XElement* settings, ThanksControl control, const std::string& argument) {
    if (!RuntimeHostPresent()) return ControlError("the logic runtime is not running (OBS's log says why)");
    const WindowHandle window = settings ? channelRegistry.FindWindowByInnerId(settings->GetString(u"innerId"), settings) : 0;
    if (!window) return ControlError("the source has not been shown yet: show it in a scene first");

    PendingControl pending{window, std::nullopt};
    PendingControl* const outer = std::exchange(running, &pending);
    SendLogicCommand(CommandText(control, window, argument));
    running = outer;
    if (LastLogicCallResult() != LogicCallResult::Ok || !pending.answer)
        return ControlError(kControlsUnsupported);
    return pending.answer->ToUtf8();
}

void TakeControlAnswer(WindowHandle window, const String& answer) {
    if (running && running->window == window && !running->answer) running->answer = answer;
}
