// SPDX-License-Identifier: GPL-2.0-or-later
// The OBS Studio module: starts the logic runtime at load, with the assembly
// from the module's data folder, registers the source "morvik_thanks_image"
// (obs/source_callbacks.h) and stops the runtime at unload.

#include "obs/activity_page.h"
#include "obs/core_thread.h"
#include "obs/module_runtime.h"
#include "obs/obs_host.h"
#include "obs/obs_tasks.h"
#include "obs/script_procedure.h"
#include "obs/shared_deadline.h"
#include "obs/source_callbacks.h"
#include "obs/websocket_vendor.h"

#include <obs-module.h>

#include <memory>
#include <string>

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("morvik-thanks", "en-US")

namespace {

// Starting Mono reads its class library from disk: seconds at most, unless
// something is badly wrong.
constexpr std::chrono::seconds kStartLimit{60};

std::shared_ptr<CoreThread> coreThread;

std::string AssemblyPath() {
    const char* data = obs_get_module_data_path(obs_current_module());
    return std::string(data ? data : ".") + "/MorvikThanks/Tavrel.dll";
}

}  // namespace

MODULE_EXPORT const char* obs_module_description(void) { return "Morvik答谢插件"; }

bool obs_module_load(void) {
    blog(LOG_INFO, "[morvik-thanks] version %s loading", MORVIK_VERSION);
    SetModuleTextLookup(obs_module_text);
    AllowUiTasks(true);
    AllowSettingsForms(true);
    InstallObsGraphics();
    coreThread = std::make_shared<CoreThread>();
    // The runtime is started on the core thread, which every later command
    // call runs on.
    auto started = std::make_shared<bool>(false);
    const std::string path = AssemblyPath();
    if (!coreThread->RunWithin("start the logic runtime", [started, path] { *started = StartModuleRuntime(path); }, kStartLimit)) {
        blog(LOG_ERROR, "[morvik-thanks] the logic runtime did not start within %d s",
             static_cast<int>(kStartLimit.count()));
        coreThread.reset();
        return false;
    }
    if (!*started) {
        coreThread.reset();
        return false;
    }
    RegisterThanksSource(coreThread);
    RegisterScriptProcedure();
    return true;
}

// obs-websocket takes vendors only once every module has loaded.
void obs_module_post_load(void) {
    if (!coreThread) return;
    RegisterWebsocketVendor();
    StartActivityPage();
}

void obs_module_unload(void) {
    if (!coreThread) return;
    StopActivityPage();
    CloseScriptProcedure();
    ForgetWebsocketVendor();
    AllowUiTasks(false);
    SharedDeadline& deadline = CoreWaitDeadline();
    deadline.Begin(CoreThread::kStopLimit);
    // No settings form opens from here on, and one under way is closed: its
    // modal loop holds the core thread, and its user has gone.
    AllowSettingsForms(false);
    const FormClosing closing = CloseSettingsForm(kAnySettingsForm);
    if (SettingsFormHoldsCore(closing))
        deadline.Expire();
    else if (closing == FormClosing::Closing)
        deadline.Renew(CoreThread::kStopLimit);
    if (!coreThread->RunWithin(
            "stop the logic runtime",
            [] {
                StopModuleRuntime();
                CoreWaitDeadline().End();
            },
            deadline.Left()))
        blog(LOG_WARNING, "[morvik-thanks] the logic assembly is busy: the module is unloaded without waiting for it");
    coreThread.reset();
}
