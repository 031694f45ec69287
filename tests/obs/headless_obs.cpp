// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/obs/headless_obs.h"

#include "platform/message_window.h"

#include <obs.h>
#include <obs-module.h>
#include <obs-nix-platform.h>

// Xlib's header defines macros (None, Bool) that break GoogleTest's: only the
// two calls needed here are declared.
extern "C" {
struct _XDisplay;
_XDisplay* XOpenDisplay(const char* name);
int XCloseDisplay(_XDisplay* display);
}

#include <cstdlib>
#include <deque>
#include <dlfcn.h>
#include <mutex>
#include <utility>
#include <unistd.h>

namespace {

_XDisplay* display = nullptr;

std::mutex uiTasksMutex;
std::deque<std::pair<obs_task_t, void*>> uiTasks;

void QueueUiTask(obs_task_t task, void* param, bool /*wait*/) {
    std::lock_guard lock(uiTasksMutex);
    uiTasks.emplace_back(task, param);
}

}  // namespace

size_t RunUiTasks() {
    std::deque<std::pair<obs_task_t, void*>> tasks;
    {
        std::lock_guard lock(uiTasksMutex);
        tasks.swap(uiTasks);
    }
    for (auto& [task, param] : tasks) task(param);
    return tasks.size();
}

std::string StartHeadlessObs(uint32_t width, uint32_t height, const std::string& moduleDir) {
    display = XOpenDisplay(nullptr);
    if (!display) return "no X display: run under xvfb-run";
    obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
    obs_set_nix_platform_display(display);
    if (!obs_startup("en-US", HeadlessModuleConfigDir().c_str(), nullptr)) return "obs_startup failed";
    obs_set_ui_task_handler(QueueUiTask);
    obs_video_info video{};
    video.graphics_module = "libobs-opengl";
    video.fps_num = 30;
    video.fps_den = 1;
    video.base_width = video.output_width = width;
    video.base_height = video.output_height = height;
    video.output_format = VIDEO_FORMAT_BGRA;
    video.colorspace = VIDEO_CS_709;
    video.range = VIDEO_RANGE_FULL;
    video.scale_type = OBS_SCALE_BILINEAR;
    if (const int result = obs_reset_video(&video); result != OBS_VIDEO_SUCCESS)
        return "obs_reset_video failed: " + std::to_string(result);
    // Audio as OBS Studio always starts it. Not only for likeness: libobs's
    // shut-down waits for the sources still queued for destruction only
    // when its audio runs (obs_wait_for_destroy_queue gives up at once
    // without it). Without audio, obs_shutdown went on to unload the
    // modules while its destruction thread was still destroying sources
    // released just before: OBS's FreeType 2 text module freed its FreeType
    // library under them and the process died by SIGSEGV in FT_Done_Face.
    const obs_audio_info audio{48000, SPEAKERS_STEREO};
    if (!obs_reset_audio(&audio)) return "obs_reset_audio failed";

    std::string loaded = LoadObsModule(moduleDir + "/bin/64bit/morvik-thanks.so", moduleDir + "/data");
    // As OBS Studio does once every module has loaded.
    if (loaded.empty()) obs_post_load_modules();
    return loaded;
}

// The modules' configuration (the gift activity page keeps its address
// there), as OBS Studio keeps it in the user's: a folder of this process's
// own, since test programs run side by side.
std::string HeadlessModuleConfigDir() {
    const char* output = std::getenv("MORVIK_TEST_OUTPUT");
    return std::string(output ? output : "/tmp") + "/obs-module-config-" + std::to_string(getpid());
}

std::string LoadObsModule(const std::string& file, const std::string& dataDir) {
    obs_module_t* module = nullptr;
    if (const int result = obs_open_module(&module, file.c_str(), dataDir.c_str()); result != MODULE_SUCCESS)
        return "cannot open " + file + ": " + std::to_string(result);
    if (!obs_init_module(module)) return "the load of " + file + " failed";
    return "";
}

bool SendThanksText(intptr_t window, const std::u16string& text) {
    struct User32 {
        decltype(&SendMessageW) sendMessage = nullptr;
        decltype(&IsWindow) isWindow = nullptr;
    };
    static const User32 user32 = [] {
        User32 found;
        if (void* platform = dlopen("libMorvikPlatform.so", RTLD_NOW | RTLD_NOLOAD)) {
            found.sendMessage = reinterpret_cast<decltype(&SendMessageW)>(dlsym(platform, "SendMessageW"));
            found.isWindow = reinterpret_cast<decltype(&IsWindow)>(dlsym(platform, "IsWindow"));
        }
        return found;
    }();
    // Every message the plug-in's windows handle is answered 0, as is one
    // to a window that is gone: only a window that exists takes it.
    if (!user32.sendMessage || !user32.isWindow || !user32.isWindow(window)) return false;
    constexpr uint64_t kShowText = 1;
    COPYDATASTRUCT block{kShowText, static_cast<uint32_t>((text.size() + 1) * sizeof(char16_t)),
                         const_cast<char16_t*>(text.c_str())};
    user32.sendMessage(window, WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&block));
    return true;
}

void StopHeadlessObs() {
    if (!obs_initialized()) return;
    RunUiTasks();
    obs_shutdown();
    RunUiTasks();
    if (display) XCloseDisplay(display);
    display = nullptr;
}
