#include "channel/channel_registry.h"

WindowHandle ChannelRegistry::FindWindowByInnerId(const String& innerId) const {
    for (const ChannelRecord& record : records_)
        if (record.innerId == innerId) return record.window;
    return 0;
}

ChannelRecord* ChannelRegistry::FindEntryByInnerId(const String& innerId, size_t* position) {
    for (size_t i = 0; i < records_.size(); ++i) {
        if (records_[i].innerId == innerId) {
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

void ChannelRegistry::Retire(const String& innerId) {
    for (ChannelRecord& record : records_) {
        if (record.innerId == innerId) {
            record.innerId << u".delete";
            record.settings = nullptr;
        }
    }
}
