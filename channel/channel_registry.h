// SPDX-License-Identifier: GPL-2.0-or-later
// The process-wide table that ties each thanks source to its message window,
// and holds what the logic assembly last pushed for it until the source's
// next frame picks it up. Entries are only ever appended; lookups are linear
// scans from the first entry, and the first match wins.
//
// An entry belongs to the settings element it was created for, and only that
// element's source finds it by innerId: an innerId is a window number, and
// window numbers start again in every process and are copied with a
// duplicated source, so the number alone could hand one source's channel to
// another.
#pragma once

#include "host/OBSApi.h"
#include "platform/message_window.h"

#include <cstddef>
#include <optional>
#include <vector>

struct ChannelRecord {
    WindowHandle window = 0;     // 0 when the window could not be created
    String innerId;              // window number; ".delete" appended once retired
    XElement* settings = nullptr;  // the owning source's "data" element; null once its source is gone
    int32_t redraw = 0;          // 1 when created and on every pushed text; never reset
    String text;                 // the latest thanks text pushed for this channel
    bool thanksShown = false;    // `text` is a thanks to report once drawn (code 302)
};

class ChannelRegistry {
public:
    void Append(const ChannelRecord& record) { records_.push_back(record); }

    // The window of the first entry of `owner` with this innerId, or 0.
    WindowHandle FindWindowByInnerId(const String& innerId, const XElement* owner) const;
    // The first entry of `owner` with this innerId and its position, or null.
    ChannelRecord* FindEntryByInnerId(const String& innerId, const XElement* owner, size_t* position = nullptr);
    // The first entry whose window is `window`, or null.
    ChannelRecord* FindEntryByWindow(WindowHandle window);

    // Appends ".delete" to the innerId of every entry of `owner`, whatever
    // its innerId says now. The source that owned them is being destroyed,
    // and its settings element goes with it, so the entries forget that
    // element too: inbound setting commands for a retired channel must not
    // write into freed memory.
    void Retire(const XElement* owner);

    size_t Size() const { return records_.size(); }
    const ChannelRecord& operator[](size_t i) const { return records_[i]; }
    ChannelRecord& operator[](size_t i) { return records_[i]; }
    void Clear() { records_.clear(); }

private:
    std::vector<ChannelRecord> records_;
};

// The decimal text of the window number, as stored in innerId and sent in commands.
inline String WindowNumberText(WindowHandle window) {
    String text;
    text << WindowNumber(window);
    return text;
}
