// SPDX-License-Identifier: GPL-2.0-or-later
#include "channel/channel_events.h"

#include <atomic>

namespace {

// Set once when the host loads the plug-in, read on the core thread.
std::atomic<ChannelEventSink> sink{nullptr};

}  // namespace

void SetChannelEventSink(ChannelEventSink newSink) { sink = newSink; }

void ReportChannelEvent(const XElement* settings, ChannelEvent event, const String& payload) {
    if (const ChannelEventSink report = sink.load(); report && settings) report(settings, event, payload);
}
