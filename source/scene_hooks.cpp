// SPDX-License-Identifier: GPL-2.0-or-later
#include "source/scene_hooks.h"

#include "bridge/runtime_host.h"
#include "bridge/settings_message.h"
#include "channel/message_window.h"
#include "channel/process_state.h"
#include "render/base_size.h"
#include "source/morvik_thanks_image.h"

namespace {

enum FormResult : int32_t { FormAccepted = 0, FormCancelled = 1 };

String Command(CTSTR prefix, WindowHandle window) { return String(prefix) << WindowNumber(window); }

}  // namespace

void MorvikThanksImage::BeginScene() {
    if (!settings_) return;
    const String innerId = settings_->GetString(u"innerId");
    if (!RuntimeHostPresent()) return;
    WindowHandle window = channelRegistry.FindWindowByInnerId(innerId, settings_);
    if (!window) {
        window = CreateChannel(settings_);
        BuildSettingsMessage(settings_, window);
    }
    SendLogicCommand(Command(u"start:", window));
    MeasureBaseSize(settings_, defaultHintText);
}

void MorvikThanksImage::EndScene() {
    if (!settings_) return;
    const String innerId = settings_->GetString(u"innerId");
    if (!RuntimeHostPresent()) return;
    const ChannelRecord* entry = channelRegistry.FindEntryByInnerId(innerId, settings_);
    if (entry && entry->window) SendLogicCommand(Command(u"stop:", entry->window));
}

bool ConfigureTextSource(XElement* element, bool /*creating*/) {
    if (!element) {
        AppWarning(u"ConfigureTextSource: NULL element");
        return false;
    }
    XElement* settings = element->GetElement(u"data");
    if (!settings) settings = element->CreateElement(u"data");
    if (!settings || !RuntimeHostPresent()) return false;

    WindowHandle window = channelRegistry.FindWindowByInnerId(settings->GetString(u"innerId"), settings);
    if (!window) window = CreateChannel(settings);
    BuildSettingsMessage(settings, window);

    const int32_t result = SendLogicCommand(Command(u"ShowForm:", window));
    // A form that never ran (the call failed) is an error, not an acceptance.
    const bool callFailed = LastLogicCallResult() != LogicCallResult::Ok;
    if (!callFailed && result == FormCancelled) return false;
    if (callFailed || result != FormAccepted) {
        OBSMessageBox(nullptr, kConfigurationErrorText, nullptr, 0);
        return false;
    }
    MeasureBaseSize(settings, defaultHintText);
    element->SetFloat(u"cx", settings->GetFloat(u"baseSizeCX", 0.0f));
    element->SetFloat(u"cy", settings->GetFloat(u"baseSizeCY", 0.0f));
    return true;
}
