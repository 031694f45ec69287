// SPDX-License-Identifier: GPL-2.0-or-later
// What the streamer's gift activity page shows: every gift of the evening as
// it arrives (the last kKeptRows of them), each thanks source's state, and
// the evening's totals with the senders who gave most. The module's core
// thread writes it as the sources announce gifts and thanks; the page's
// connections read it on the server's threads, as JSON texts made under the
// log's lock, and wait for what changes with WaitForChanges.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// JSON as the page is sent it: names that are not UTF-8 (a script may give
// a source one) written with U+FFFD rather than thrown on.
inline std::string PageJsonText(const nlohmann::json& json) {
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

class ActivityLog {
public:
    static constexpr size_t kKeptRows = 1000;
    static constexpr size_t kTopSenders = 10;
    // The senders whose totals are kept; past it the half that gave least
    // is forgotten, so that an evening of ever new names stays bounded.
    static constexpr size_t kKeptSenders = 50000;

    using Clock = std::chrono::steady_clock;

    // A source is known from its creation to its removal, by a key of the
    // caller's that outlives renames; rows keep the name it had then.
    void AddSource(uint64_t key, const std::string& name);
    void RenameSource(uint64_t key, const std::string& name);
    void RemoveSource(uint64_t key);
    // A gift the source announced: the JSON of its GiftReceived ({"sender",
    // "gift", "count", "value", "outcome", "gift_id"}), at `unixMs`. Fields
    // missing or of another type are shown empty; a payload that is no JSON
    // object is dropped.
    void AddGift(uint64_t key, const std::string& payload, int64_t unixMs);
    // The thanks the source has just drawn.
    void SetOnAir(uint64_t key, const std::string& text);
    // The source's state as its last "state" answered: how many thanks
    // wait, whether it is paused; or that its logic assembly has no
    // controls (and so announces no gifts).
    void SetState(uint64_t key, int64_t waiting, bool paused);
    void SetNoAnnouncements(uint64_t key);

    // {"sources": [...], "top": [...], "rows": [...]}, the rows newest first.
    nlohmann::json Snapshot() const;

    // Where a reader of the changes has got to.
    struct Cursor {
        uint64_t row = 0;
        uint64_t sources = 0;
        Clock::time_point sourcesSentAt{};
    };
    struct Changes {
        // The rows after the cursor's, oldest first, as JSON texts; empty
        // with `missedRows` when some were dropped before the reader came
        // back for them (it should then take a snapshot).
        std::vector<std::string> rows;
        bool missedRows = false;
        // {"sources", "top"} when either changed, at most once every
        // kSourcesInterval for a reader.
        std::optional<std::string> sources;
    };
    static constexpr std::chrono::milliseconds kSourcesInterval{100};
    // The cursor at the newest row and state, for a reader starting from
    // the snapshot (Snapshot's JSON) taken with it and returned in `snapshot`.
    Cursor Start(nlohmann::json& snapshot) const;
    // Waits until something changed after `cursor`, `limit` passed, or the
    // log was closed; what changed, the cursor moved past it. False once
    // the log is closed.
    bool WaitForChanges(Cursor& cursor, Changes& changes, std::chrono::milliseconds limit);
    // Every reader's wait ends, now and from now on.
    void Close();
    // Whether a reader waits now or did within the last 5 s: the sources
    // then keep their state fresh.
    bool Watched() const;

private:
    struct Source {
        std::string name;
        std::string onAir;
        int64_t waiting = 0;
        bool paused = false;
        bool announces = true;
        int64_t gifts = 0;
        double value = 0;
    };
    struct SenderTotal {
        double value = 0;
        int64_t gifts = 0;
    };

    void SourcesChanged();
    nlohmann::json SnapshotNow() const;
    nlohmann::json SourcesJson() const;
    nlohmann::json TopJson() const;
    void CountSender(const std::string& sender, double value);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<uint64_t, Source> sources_;
    std::map<std::string, SenderTotal> senders_;
    // The rows, oldest first, each with its "id"; the id of the newest.
    std::deque<nlohmann::json> rows_;
    uint64_t lastRow_ = 0;
    uint64_t sourcesVersion_ = 0;
    bool closed_ = false;
    // Readers waiting now, and when the last one left.
    int readers_ = 0;
    Clock::time_point lastReadAt_{};
};
