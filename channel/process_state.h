// SPDX-License-Identifier: GPL-2.0-or-later
// The plug-in's process-wide state, shared by every source and channel. It
// is initialised when the library loads and released when it unloads.
#pragma once

#include "channel/channel_registry.h"
#include "host/OBSApi.h"

extern ChannelRegistry channelRegistry;
// The built-in hint shown before any thanks text arrives; never changed.
extern const String defaultHintText;
// The text the next UpdateTexture draws; starts as the hint.
extern String displayText;
// True until the first source has redrawn, and while a channel asks for it.
extern bool redrawPending;
