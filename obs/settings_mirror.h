// SPDX-License-Identifier: GPL-2.0-or-later
// The core's own copy of a source's settings, and the way between it and
// OBS's. libobs's obs_data_t has no lock, and OBS's UI thread clears,
// applies and saves a source's settings when it likes (Properties, Cancel,
// saving the scene collection). So the core never touches OBS's settings: it
// works on a copy, OBS's changes reach it as a fresh copy through the
// source's update, and what the core writes goes back to OBS's settings as a
// task on OBS's UI thread.
//
// Each write-back is numbered, and a copy records the number of the last one
// OBS's settings held when it was taken: the core's writes that had not
// reached OBS yet are laid over the copy again, so neither side's change is
// lost when the two cross.
//
// The core's own bookkeeping ("innerId" and the measured "baseSizeCX" and
// "baseSizeCY") stays in its copy: no user sets it, it means nothing to a
// later run (a channel is found only by the source that made it, and the base
// size is measured at every scene begin), and written into OBS's settings it
// would change them under an open Properties window, whose Cancel then asks
// about changes nobody made, or whose revert would cut the source off its
// live channel. OBS's values for these keys never replace the core's.
#pragma once

#include <obs-data.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class ObsDataElement;

// A reference of its own to an obs_data_t; copies add references.
class ObsDataRef {
public:
    ObsDataRef() = default;
    // Takes over a reference the caller holds.
    explicit ObsDataRef(obs_data_t* owned) : data_(owned) {}
    ObsDataRef(const ObsDataRef& other) : data_(other.data_) { obs_data_addref(data_); }
    ObsDataRef(ObsDataRef&& other) noexcept : data_(std::exchange(other.data_, nullptr)) {}
    ObsDataRef& operator=(ObsDataRef other) noexcept {
        std::swap(data_, other.data_);
        return *this;
    }
    ~ObsDataRef() { obs_data_release(data_); }

    obs_data_t* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    obs_data_t* data_ = nullptr;
};

class SettingsMirror {
public:
    using SetDefaults = void (*)(obs_data_t*);

    // `obsSettings` are the source's settings in OBS (a reference is kept);
    // `setDefaults` gives every copy the source type's defaults.
    SettingsMirror(obs_data_t* obsSettings, SetDefaults setDefaults);
    SettingsMirror(const SettingsMirror&) = delete;
    SettingsMirror& operator=(const SettingsMirror&) = delete;

    struct Snapshot {
        ObsDataRef data;          // defaults and OBS's user values
        uint64_t written = 0;     // the last write-back OBS's settings held
    };

    // On the thread that owns OBS's settings (the one OBS creates the source
    // on, then OBS's UI thread): a copy of them as they are now.
    Snapshot Take() const;

    // On the core thread: the snapshot, with the core's writes that OBS had
    // not got when it was taken, becomes the object that `root` holds as
    // "data" (the view `root` gives for "data" follows).
    void Adopt(Snapshot snapshot, ObsDataElement& root);

    // On the core thread: what was set through `view` since the last call,
    // but the bookkeeping, goes to OBS's settings on OBS's UI thread.
    void SendWrites(ObsDataElement& view);

private:
    struct Shared;
    struct WriteBack;
    static void ApplyWriteBack(void* task);

    std::shared_ptr<Shared> shared_;  // with the write-backs queued for the UI thread
    SetDefaults setDefaults_;
    // Core thread only.
    ObsDataRef bookkeeping_;  // every bookkeeping value the core wrote, the latest of each
    uint64_t sent_ = 0;
    std::vector<std::pair<uint64_t, ObsDataRef>> pending_;  // sent, not yet known to be in OBS's settings
};
