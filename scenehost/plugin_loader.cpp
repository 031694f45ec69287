// SPDX-License-Identifier: GPL-2.0-or-later
#include "scenehost/plugin_loader.h"

#include "host/host_control.h"
#include "platform/message_window.h"

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>

namespace {

using LoadFn = bool (*)();
using UnloadFn = void (*)();
using NameFn = CTSTR (*)();

// Closes a module after making sure that no message window can call into
// it any more: windows made during UnloadPlugin are caught by the second pass.
void CloseModule(void* handle, const void* codeAddress, UnloadFn unload) {
    DestroyWindowsOfModule(codeAddress);
    if (unload) unload();
    DestroyWindowsOfModule(codeAddress);
    dlclose(handle);
}

}  // namespace

void PluginSet::LoadFolder(const std::string& folder) {
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.path().extension() == ".so" && entry.is_regular_file(ec)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());

    for (const auto& path : files) {
        const std::string file = path.filename().string();
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::fprintf(stderr, "scenehost: skipping plug-in %s: %s\n", file.c_str(), dlerror());
            continue;
        }
        auto load = reinterpret_cast<LoadFn>(dlsym(handle, "LoadPlugin"));
        auto unload = reinterpret_cast<UnloadFn>(dlsym(handle, "UnloadPlugin"));
        auto name = reinterpret_cast<NameFn>(dlsym(handle, "GetPluginName"));
        auto description = reinterpret_cast<NameFn>(dlsym(handle, "GetPluginDescription"));
        if (!load || !unload || !name || !description) {
            std::fprintf(stderr,
                         "scenehost: skipping %s: not a plug-in (it lacks LoadPlugin, UnloadPlugin, GetPluginName or "
                         "GetPluginDescription)\n",
                         file.c_str());
            dlclose(handle);
            continue;
        }
        const void* codeAddress = reinterpret_cast<const void*>(load);
        if (!load()) {
            std::fprintf(stderr, "scenehost: plug-in %s did not load (its LoadPlugin returned false); unloaded\n",
                         file.c_str());
            CloseModule(handle, codeAddress, nullptr);
            continue;
        }
        const CTSTR pluginName = name();
        plugins_.push_back({file, String(pluginName ? pluginName : u"").ToUtf8(), handle, unload, codeAddress});
        std::fprintf(stderr, "scenehost: loaded plug-in %s (%s)\n", file.c_str(), plugins_.back().name.c_str());
    }
}

void PluginSet::UnloadAll() {
    while (!plugins_.empty()) {
        const LoadedPlugin& plugin = plugins_.back();
        CloseModule(plugin.handle, plugin.codeAddress, plugin.unload);
        plugins_.pop_back();
    }
    // Their create and configure callbacks pointed into the closed modules.
    ClearRegisteredClasses();
}
