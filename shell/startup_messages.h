// SPDX-License-Identifier: GPL-2.0-or-later
// The plug-in's name and the message shown at load when the logic assembly
// is missing.
#pragma once

#include "host/host_string.h"

// The plug-in's name, which is also the name its source class is registered under.
inline constexpr CTSTR kPluginName = u"Morvik答谢水友插件";

// Message 126, ending in the support group's number.
String MissingAssemblyMessage();
