// SPDX-License-Identifier: GPL-2.0-or-later
#include "bridge/mono_api.h"

#include <dlfcn.h>

std::unique_ptr<const MonoApi> LoadMonoApi(const std::string& libraryName)
{
    // Global: Mono's own native helpers (libmono-native, which the class
    // library's file and socket code P/Invokes) take the runtime's symbols
    // from the global scope when Mono loads them.
    void* library = dlopen(libraryName.c_str(), RTLD_LAZY | RTLD_GLOBAL);
    if (!library)
        return nullptr;
    auto api = std::make_unique<MonoApi>();
    bool complete = true;
#define MORVIK_MONO_RESOLVE(name, result, parameters)                          \
    api->name = reinterpret_cast<result(*) parameters>(dlsym(library, #name)); \
    complete = complete && api->name != nullptr;
    MORVIK_MONO_FUNCTIONS(MORVIK_MONO_RESOLVE)
#undef MORVIK_MONO_RESOLVE
    // The handle stays open on purpose, even when incomplete: a library once
    // loaded may have registered state that dlclose would leave dangling.
    if (!complete)
        return nullptr;
    return api;
}
