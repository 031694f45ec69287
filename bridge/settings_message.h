// SPDX-License-Identifier: GPL-2.0-or-later
// The "Set:" command: the full settings of one channel sent to the logic
// assembly in one string, and the ASCII mode refreshed on the way.
//
// Layout: "Set:" then 31 fields separated by "{|}" with no separator after
// the last: the window number, then the values of the keys in
// kSettingsFields order (bridge/settings_fields.h). Integers are signed
// decimal; texts are inserted as stored, without escaping (a text holding
// "{|}" gives the receiver more fields). While "usingASCII" is 1, "ASCII" is
// sent right before it.
#pragma once

#include "host/OBSApi.h"

#include <cstdint>

// Process-wide: exactly 1 selects 8-bit ANSI text for the blocks the logic
// assembly sends, any other value UTF-16. Set from "usingASCII" of the last
// settings sent, and when the assembly switches it (AsciiModeOn/Off).
extern int32_t asciiMode;

// The message for these settings and window, without sending anything.
String ComposeSettingsMessage(XElement* settings, WindowHandle window);

// Reads "usingASCII" into asciiMode and, while the runtime is present, sends
// "ASCII" (when the mode is 1) and the "Set:" message. No settings: nothing
// changes and nothing is sent.
void BuildSettingsMessage(XElement* settings, WindowHandle window);
