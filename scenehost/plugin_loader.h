// SPDX-License-Identifier: GPL-2.0-or-later
// Loads the host's plug-ins: every *.so in a folder, found by its four
// exported entry points, and unloads them so that none of their code can be
// called afterwards.
#pragma once

#include "host/OBSApi.h"

#include <string>
#include <vector>

struct LoadedPlugin {
    std::string file;
    std::string name;  // GetPluginName
    void* handle = nullptr;
    void (*unload)() = nullptr;
    const void* codeAddress = nullptr;  // an address inside the module
};

class PluginSet {
public:
    PluginSet() = default;
    ~PluginSet() { UnloadAll(); }
    PluginSet(const PluginSet&) = delete;
    PluginSet& operator=(const PluginSet&) = delete;

    // Loads the folder's plug-ins in name order and calls LoadPlugin on each.
    // A library that cannot be opened or lacks an entry point is skipped, one
    // whose LoadPlugin returns false is unloaded again; each is reported on
    // stderr. A missing folder loads nothing.
    void LoadFolder(const std::string& folder);

    // In reverse load order: the message windows of the module destroyed,
    // UnloadPlugin, the library closed. The registered classes are cleared.
    void UnloadAll();

    const std::vector<LoadedPlugin>& Plugins() const { return plugins_; }

private:
    std::vector<LoadedPlugin> plugins_;
};
