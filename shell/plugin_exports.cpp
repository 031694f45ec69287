// SPDX-License-Identifier: GPL-2.0-or-later
// The four functions the host finds the plug-in by, and the order of its
// start-up and shut-down.

#include "bridge/runtime_host.h"
#include "channel/message_window.h"
#include "shell/startup_messages.h"
#include "source/morvik_thanks_image.h"
#include "source/scene_hooks.h"

#include <dlfcn.h>
#include <unistd.h>

#define MORVIK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

ModuleHandle PluginModule() {
    Dl_info info{};
    return dladdr(reinterpret_cast<const void*>(&PluginModule), &info) ? info.dli_fbase : nullptr;
}

}  // namespace

MORVIK_EXPORT CTSTR GetPluginName() { return kPluginName; }

MORVIK_EXPORT CTSTR GetPluginDescription() { return u"Morvik答谢插件"; }

MORVIK_EXPORT bool LoadPlugin() {
    if (access(kLogicAssemblyPath, F_OK) != 0) OBSMessageBox(nullptr, MissingAssemblyMessage().Array(), nullptr, 0);
    if (StartRuntime(kLogicAssemblyPath) != RuntimeStartOutcome::Started) return false;
    InitColorControl(PluginModule());
    API->RegisterImageSourceClass(kPluginName, u"Morvik答谢水友", CreateThanksSource, ConfigureTextSource);
    return true;
}

MORVIK_EXPORT void UnloadPlugin() {
    StopRuntime();
    // The windows' procedure is this library's code: none may outlive it.
    DestroyWindowsOfModule(reinterpret_cast<const void*>(&MessageWindowProc));
}
