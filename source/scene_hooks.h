// SPDX-License-Identifier: GPL-2.0-or-later
// The host calls that tie a thanks source to the logic assembly: scene begin
// and end (slots of the source) and the configure callback, which runs the
// logic assembly's settings form.
#pragma once

#include "host/OBSApi.h"

// The configure callback: runs the form for the source whose element is
// given, and on acceptance stores the measured base size as its "cx"/"cy".
// True when the form was accepted.
bool ConfigureTextSource(XElement* element, bool creating);

// The message shown when the form reports an error or could not be run.
inline constexpr CTSTR kConfigurationErrorText = u"发生错误,设置失败，请检查插件文件是否损坏";
