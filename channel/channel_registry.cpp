// SPDX-License-Identifier: GPL-2.0-or-later
#include "channel/channel_registry.h"

namespace {

// A retired entry has no owner any more, so a null owner matches nothing.
bool Belongs(const ChannelRecord& record, const String& innerId, const XElement* owner) {
    return owner && record.settings == owner && record.innerId == innerId;
}

}  // namespace

WindowHandle ChannelRegistry::FindWindowByInnerId(const String& innerId, const XElement* owner) const {
    for (const ChannelRecord& record : records_)
        if (Belongs(record, innerId, owner)) return record.window;
    return 0;
}

ChannelRecord* ChannelRegistry::FindEntryByInnerId(const String& innerId, const XElement* owner, size_t* position) {
    for (size_t i = 0; i < records_.size(); ++i) {
        if (Belongs(records_[i], innerId, owner)) {
            if (position) *position = i;
            return &records_[i];
        }
    }
    return nullptr;
}

ChannelRecord* ChannelRegistry::FindEntryByWindow(WindowHandle window) {
    for (ChannelRecord& record : records_)
        if (record.window == window) return &record;
    return nullptr;
}

void ChannelRegistry::Retire(const XElement* owner) {
    if (!owner) return;
    for (ChannelRecord& record : records_) {
        if (record.settings == owner) {
            record.innerId << u".delete";
            record.settings = nullptr;
        }
    }
}
