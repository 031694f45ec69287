// SPDX-License-Identifier: GPL-2.0-or-later
// XElement over libobs's obs_data_t: the plug-in's settings view when OBS
// Studio is the host. Keys and conversions are the same as in every host
// (host/xelement.h); writes go straight into the obs_data_t, so OBS sees them
// and saves them with the scene collection.
#pragma once

#include "host/xelement.h"

#include <obs-data.h>

#include <map>
#include <set>
#include <memory>
#include <string>

class ObsDataElement final : public XElement {
public:
    // Takes a reference of its own to `data`; `name` is what GetName reports.
    ObsDataElement(obs_data_t* data, std::string name);
    ~ObsDataElement() override;
    ObsDataElement(const ObsDataElement&) = delete;
    ObsDataElement& operator=(const ObsDataElement&) = delete;

    String GetName() const override;
    bool HasItem(CTSTR name) const override;
    int GetInt(CTSTR name, int defaultValue) const override;
    float GetFloat(CTSTR name, float defaultValue) const override;
    String GetString(CTSTR name, CTSTR defaultValue) const override;
    void SetInt(CTSTR name, int value) override;
    void SetFloat(CTSTR name, float value) override;
    void SetString(CTSTR name, CTSTR value) override;
    XElement* GetElement(CTSTR name) override;
    XElement* CreateElement(CTSTR name) override;

    obs_data_t* Data() const { return data_; }

    // From now on every key set through this view to a value it did not
    // hold is noted, for TakeChangedKeys.
    void RecordChanges();
    // The keys noted since the last call.
    std::set<std::string> TakeChangedKeys();
    // Sets `key` in `into` to the value this view holds for it, in its own
    // type (text, integer or fraction); nothing when it holds none.
    void CopyValue(const std::string& key, obs_data_t* into) const;

private:
    // The child view for the object now stored under `key`; a view handed out
    // before stays valid and is pointed at the new object.
    ObsDataElement* Child(const std::string& key, obs_data_t* object);

    obs_data_t* data_;
    std::string name_;
    bool recording_ = false;
    std::set<std::string> changedKeys_;  // set since the last TakeChanges, while recording
    std::map<std::string, std::unique_ptr<ObsDataElement>> children_;
};
