// SPDX-License-Identifier: GPL-2.0-or-later
#include "bridge/settings_message.h"

#include "bridge/runtime_host.h"
#include "bridge/settings_fields.h"
#include "platform/message_window.h"

int32_t asciiMode = 0;

String ComposeSettingsMessage(XElement* settings, WindowHandle window) {
    String message(u"Set:");
    message << WindowNumber(window);
    for (const SettingsField& field : kSettingsFields) {
        message << u"{|}";
        if (field.isText) message << settings->GetString(field.key, field.textDefault);
        else message << settings->GetInt(field.key, field.intDefault);
    }
    return message;
}

void BuildSettingsMessage(XElement* settings, WindowHandle window) {
    if (!settings) return;
    const String message = ComposeSettingsMessage(settings, window);
    asciiMode = settings->GetInt(u"usingASCII", 0);
    if (!RuntimeHostPresent()) return;
    if (asciiMode == 1) SendLogicCommand(u"ASCII");
    SendLogicCommand(message);
}
