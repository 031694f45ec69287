// SPDX-License-Identifier: GPL-2.0-or-later
#include "activity/activity_log.h"

#include <algorithm>

namespace {

using Json = nlohmann::json;

// Gifts the channel took as the viewer's: counted in the evening's totals.
// A test gift, a duplicate or a refused one is shown but not counted.
bool CountsAsReceived(const std::string& outcome) {
    return outcome == "thanked" || outcome == "merged" || outcome == "filtered" || outcome == "off";
}

std::string StringField(const Json& object, const char* name) {
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

void ActivityLog::AddSource(uint64_t key, const std::string& name) {
    std::lock_guard lock(mutex_);
    sources_[key].name = name;
    SourcesChanged();
}

void ActivityLog::RenameSource(uint64_t key, const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto found = sources_.find(key);
    if (found == sources_.end() || found->second.name == name) return;
    found->second.name = name;
    SourcesChanged();
}

void ActivityLog::RemoveSource(uint64_t key) {
    std::lock_guard lock(mutex_);
    if (sources_.erase(key) != 0) SourcesChanged();
}

void ActivityLog::AddGift(uint64_t key, const std::string& payload, int64_t unixMs) {
    const Json gift = Json::parse(payload, nullptr, false);
    if (!gift.is_object()) return;
    Json row = Json::object();
    row["time"] = unixMs;
    row["sender"] = StringField(gift, "sender");
    row["gift"] = StringField(gift, "gift");
    const auto count = gift.find("count");
    row["count"] = count != gift.end() && count->is_number_integer() ? count->get<int64_t>() : 1;
    const auto value = gift.find("value");
    const bool valued = value != gift.end() && value->is_number();
    row["value"] = valued ? Json(value->get<double>()) : Json(nullptr);
    const std::string outcome = StringField(gift, "outcome");
    row["outcome"] = outcome;
    const auto giftId = gift.find("gift_id");
    if (giftId != gift.end() && giftId->is_number_unsigned()) row["gift_id"] = giftId->get<uint64_t>();

    std::lock_guard lock(mutex_);
    const auto source = sources_.find(key);
    row["source"] = source != sources_.end() ? source->second.name : std::string();
    row["id"] = ++lastRow_;
    if (CountsAsReceived(outcome)) {
        const double worth = valued ? value->get<double>() : 0.0;
        if (source != sources_.end()) {
            ++source->second.gifts;
            source->second.value += worth;
        }
        CountSender(row["sender"].get<std::string>(), worth);
        SourcesChanged();
    }
    rows_.push_back(std::move(row));
    if (rows_.size() > kKeptRows) rows_.pop_front();
    changed_.notify_all();
}

void ActivityLog::SetOnAir(uint64_t key, const std::string& text) {
    std::lock_guard lock(mutex_);
    const auto found = sources_.find(key);
    if (found == sources_.end() || found->second.onAir == text) return;
    found->second.onAir = text;
    SourcesChanged();
}

void ActivityLog::SetState(uint64_t key, int64_t waiting, bool paused) {
    std::lock_guard lock(mutex_);
    const auto found = sources_.find(key);
    if (found == sources_.end()) return;
    Source& source = found->second;
    if (source.waiting == waiting && source.paused == paused && source.announces) return;
    source.waiting = waiting;
    source.paused = paused;
    source.announces = true;
    SourcesChanged();
}

void ActivityLog::SetNoAnnouncements(uint64_t key) {
    std::lock_guard lock(mutex_);
    const auto found = sources_.find(key);
    if (found == sources_.end() || !found->second.announces) return;
    found->second.announces = false;
    SourcesChanged();
}

// Under the lock.
void ActivityLog::SourcesChanged() {
    ++sourcesVersion_;
    changed_.notify_all();
}

// Under the lock.
void ActivityLog::CountSender(const std::string& sender, double value) {
    SenderTotal& total = senders_[sender];
    total.value += value;
    ++total.gifts;
    if (senders_.size() <= kKeptSenders) return;
    std::vector<double> values;
    values.reserve(senders_.size());
    for (const auto& [name, kept] : senders_) values.push_back(kept.value);
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    const double least = *middle;
    std::erase_if(senders_, [&](const auto& entry) { return entry.second.value < least && entry.first != sender; });
}

// Under the lock.
Json ActivityLog::SourcesJson() const {
    Json sources = Json::array();
    for (const auto& [key, source] : sources_)
        sources.push_back({{"name", source.name},
                           {"on_air", source.onAir},
                           {"waiting", source.waiting},
                           {"paused", source.paused},
                           {"announces", source.announces},
                           {"gifts", source.gifts},
                           {"value", source.value}});
    return sources;
}

// Under the lock: the senders who gave most, by value, then by gifts.
Json ActivityLog::TopJson() const {
    std::vector<const std::pair<const std::string, SenderTotal>*> ranked;
    ranked.reserve(senders_.size());
    for (const auto& entry : senders_) ranked.push_back(&entry);
    const size_t shown = std::min(kTopSenders, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(shown), ranked.end(),
                      [](const auto* a, const auto* b) {
                          if (a->second.value != b->second.value) return a->second.value > b->second.value;
                          if (a->second.gifts != b->second.gifts) return a->second.gifts > b->second.gifts;
                          return a->first < b->first;
                      });
    Json top = Json::array();
    for (size_t i = 0; i < shown; ++i)
        top.push_back({{"sender", ranked[i]->first}, {"value", ranked[i]->second.value}, {"gifts", ranked[i]->second.gifts}});
    return top;
}

Json ActivityLog::Snapshot() const {
    std::lock_guard lock(mutex_);
    return SnapshotNow();
}

// Under the lock.
Json ActivityLog::SnapshotNow() const {
    Json rows = Json::array();
    for (auto row = rows_.rbegin(); row != rows_.rend(); ++row) rows.push_back(*row);
    return {{"sources", SourcesJson()}, {"top", TopJson()}, {"rows", std::move(rows)}};
}

ActivityLog::Cursor ActivityLog::Start(Json& snapshot) const {
    std::lock_guard lock(mutex_);
    snapshot = SnapshotNow();
    Cursor cursor;
    cursor.row = lastRow_;
    cursor.sources = sourcesVersion_;
    cursor.sourcesSentAt = Clock::now();
    return cursor;
}

bool ActivityLog::WaitForChanges(Cursor& cursor, Changes& changes, std::chrono::milliseconds limit) {
    changes = Changes{};
    std::unique_lock lock(mutex_);
    const Clock::time_point until = Clock::now() + limit;
    ++readers_;
    lastReadAt_ = Clock::now();
    struct Leaving {
        ActivityLog& log;
        ~Leaving() {
            --log.readers_;
            log.lastReadAt_ = Clock::now();
        }
    } leaving{*this};
    while (true) {
        if (closed_) return false;
        const bool newRows = lastRow_ > cursor.row;
        const bool sourcesDue = sourcesVersion_ != cursor.sources;
        const Clock::time_point sourcesAllowedAt = cursor.sourcesSentAt + kSourcesInterval;
        if (newRows || (sourcesDue && Clock::now() >= sourcesAllowedAt)) break;
        if (Clock::now() >= until) return true;
        changed_.wait_until(lock, sourcesDue ? std::min(until, sourcesAllowedAt) : until);
    }
    if (lastRow_ > cursor.row) {
        // The ids are consecutive: the kept rows are the last rows_.size().
        const uint64_t oldestKept = lastRow_ + 1 - rows_.size();
        if (cursor.row + 1 < oldestKept)
            changes.missedRows = true;
        else
            for (size_t i = cursor.row + 1 - oldestKept; i < rows_.size(); ++i) changes.rows.push_back(PageJsonText(rows_[i]));
        cursor.row = lastRow_;
    }
    if (sourcesVersion_ != cursor.sources && Clock::now() >= cursor.sourcesSentAt + kSourcesInterval) {
        changes.sources = PageJsonText(Json{{"sources", SourcesJson()}, {"top", TopJson()}});
        cursor.sources = sourcesVersion_;
        cursor.sourcesSentAt = Clock::now();
    }
    return true;
}

void ActivityLog::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

bool ActivityLog::Watched() const {
    std::lock_guard lock(mutex_);
    return readers_ > 0 || Clock::now() - lastReadAt_ < std::chrono::seconds(5);
}
