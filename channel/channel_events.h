// SPDX-License-Identifier: GPL-2.0-or-later
// What the logic assembly tells of a channel beyond its texts, for a host
// that passes it on (OBS Studio's module sends it to obs-websocket clients):
//   GiftReceived  a gift the channel took, JSON {"sender", "gift", "count",
//                 "value", "outcome", "gift_id"} (inbound code 301);
//                 "gift_id" numbers the channel's gifts from 1 (the number
//                 "again" takes); a gift left out ("outcome": "duplicate")
//                 or refused with a full queue ("refused") has none
//   ThanksShown   the thanks text the source has just drawn (after code 302
//                 marked the text of code 1 as a thanks, not the idle text)
// Reported on the thread that owns the channel's window; a host that sets no
// sink drops them.
#pragma once

#include "host/OBSApi.h"

enum class ChannelEvent { GiftReceived, ThanksShown };

// `settings` are the source's whose channel it is.
using ChannelEventSink = void (*)(const XElement* settings, ChannelEvent event, const String& payload);

void SetChannelEventSink(ChannelEventSink sink);
void ReportChannelEvent(const XElement* settings, ChannelEvent event, const String& payload);
