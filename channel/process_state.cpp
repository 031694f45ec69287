// SPDX-License-Identifier: GPL-2.0-or-later
#include "channel/process_state.h"

// Defined in one unit so that they are initialised in this order.
ChannelRegistry channelRegistry;
const String defaultHintText(u"设置后将开始显示答谢文字");
String displayText(defaultHintText);
bool redrawPending = true;
