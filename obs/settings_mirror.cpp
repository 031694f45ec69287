// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/settings_mirror.h"

#include "obs/obs_settings_element.h"
#include "obs/obs_tasks.h"
#include "obs/setting_widgets.h"

#include <algorithm>
#include <mutex>

struct SettingsMirror::Shared {
    explicit Shared(obs_data_t* settings) : obsSettings(settings) { obs_data_addref(settings); }
    ~Shared() { obs_data_release(obsSettings); }

    // Taken by this mirror's own readers and writers of OBS's settings, so
    // that a copy and its write-back number agree.
    std::mutex mutex;
    obs_data_t* obsSettings;
    uint64_t written = 0;
};

namespace {

bool IsBookkeeping(const std::string& key) { return key == "innerId" || key == "baseSizeCX" || key == "baseSizeCY"; }

}  // namespace

struct SettingsMirror::WriteBack {
    std::shared_ptr<Shared> shared;
    ObsDataRef changes;
    uint64_t generation;
};

SettingsMirror::SettingsMirror(obs_data_t* obsSettings, SetDefaults setDefaults)
    : shared_(std::make_shared<Shared>(obsSettings)), setDefaults_(setDefaults), bookkeeping_(obs_data_create()) {}

SettingsMirror::Snapshot SettingsMirror::Take() const {
    Snapshot snapshot{ObsDataRef(obs_data_create()), 0};
    setDefaults_(snapshot.data.get());
    std::lock_guard lock(shared_->mutex);
    obs_data_apply(snapshot.data.get(), shared_->obsSettings);
    snapshot.written = shared_->written;
    return snapshot;
}

void SettingsMirror::Adopt(Snapshot snapshot, ObsDataElement& root) {
    std::erase_if(pending_, [&](const auto& write) { return write.first <= snapshot.written; });
    for (const auto& [generation, changes] : pending_) obs_data_apply(snapshot.data.get(), changes.get());
    obs_data_apply(snapshot.data.get(), bookkeeping_.get());
    obs_data_set_obj(root.Data(), "data", snapshot.data.get());
    root.GetElement(u"data");
}

void SettingsMirror::SendWrites(ObsDataElement& view) {
    ObsDataRef changes(obs_data_create());
    bool anyForObs = false;
    for (const std::string& key : view.TakeChangedKeys()) {
        const bool bookkeeping = IsBookkeeping(key);
        view.CopyValue(key, bookkeeping ? bookkeeping_.get() : changes.get());
        anyForObs |= !bookkeeping;
    }
    if (!anyForObs) return;
    const uint64_t generation = ++sent_;
    pending_.emplace_back(generation, changes);
    auto writeBack = std::make_unique<WriteBack>(WriteBack{shared_, changes, generation});
    if (QueueUiTask(&SettingsMirror::ApplyWriteBack, writeBack.get())) writeBack.release();
}

void SettingsMirror::ApplyWriteBack(void* param) {
    const std::unique_ptr<WriteBack> task(static_cast<WriteBack*>(param));
    Shared& shared = *task->shared;
    std::lock_guard lock(shared.mutex);
    obs_data_apply(shared.obsSettings, task->changes.get());
    // A colour or flag the core wrote shows in its widget too.
    ShowDesignValuesInWidgets(shared.obsSettings);
    shared.written = std::max(shared.written, task->generation);
}

