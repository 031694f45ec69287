// The OBS Studio module: starts the logic runtime at load, with the assembly
// from the module's data folder, registers the source "morvik_thanks_image"
// and stops the runtime at unload.

#include "obs/core_thread.h"
#include "obs/module_runtime.h"
#include "obs/obs_gs.h"
#include "obs/obs_host.h"
#include "obs/thanks_source.h"

#include <obs-module.h>

#include <memory>
#include <string>

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("morvik-thanks", "en-US")

namespace {

// Shared with every source, which may outlive the module's unload.
std::shared_ptr<CoreThread> coreThread;

ThanksSource* Of(void* data) { return static_cast<ThanksSource*>(data); }

const char* GetName(void*) { return obs_module_text("MorvikThanks"); }

void* Create(obs_data_t* settings, obs_source_t* source) {
    auto thanks = std::make_unique<ThanksSource>(coreThread, settings, obs_source_get_name(source));
    if (!thanks->HasImage())
        blog(LOG_WARNING, "[morvik-thanks] no storage for the source \"%s\"", obs_source_get_name(source));
    return thanks.release();
}

void Destroy(void* data) {
    std::unique_ptr<ThanksSource>{Of(data)};
    obs_enter_graphics();
    ReleaseRetiredTextures();
    obs_leave_graphics();
}

void Update(void* data, obs_data_t*) { Of(data)->Update(); }
void VideoTick(void* data, float) { Of(data)->Tick(); }
void Activate(void* data) { Of(data)->Activate(); }
void Deactivate(void* data) { Of(data)->Deactivate(); }
uint32_t GetWidth(void* data) { return Of(data)->Width(); }
uint32_t GetHeight(void* data) { return Of(data)->Height(); }

void VideoRender(void* data, gs_effect_t*) {
    ReleaseRetiredTextures();
    Of(data)->Render();
}

bool OnConfigure(obs_properties_t*, obs_property_t*, void* data) {
    Of(data)->Configure();
    return false;
}

obs_properties_t* GetProperties(void* data) {
    obs_properties_t* properties = obs_properties_create();
    obs_properties_add_button2(properties, "configure", obs_module_text("Configure"), OnConfigure, data);
    return properties;
}

void RegisterThanksSource() {
    obs_source_info info{};
    info.id = "morvik_thanks_image";
    info.type = OBS_SOURCE_TYPE_INPUT;
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_CUSTOM_DRAW;
    info.get_name = GetName;
    info.create = Create;
    info.destroy = Destroy;
    info.update = Update;
    info.video_tick = VideoTick;
    info.video_render = VideoRender;
    info.get_width = GetWidth;
    info.get_height = GetHeight;
    info.activate = Activate;
    info.deactivate = Deactivate;
    info.get_properties = GetProperties;
    obs_register_source(&info);
}

std::string AssemblyPath() {
    const char* data = obs_get_module_data_path(obs_current_module());
    return std::string(data ? data : ".") + "/MorvikThanks/Tavrel.dll";
}

}  // namespace

MODULE_EXPORT const char* obs_module_description(void) { return "Morvik答谢插件"; }

bool obs_module_load(void) {
    SetModuleTextLookup(obs_module_text);
    InstallObsGraphics();
    coreThread = std::make_shared<CoreThread>();
    // The runtime is started on the core thread, which every later command
    // call runs on.
    bool started = false;
    const std::string path = AssemblyPath();
    coreThread->Run([&] { started = StartModuleRuntime(path); });
    if (!started) {
        coreThread.reset();
        return false;
    }
    RegisterThanksSource();
    return true;
}

void obs_module_unload(void) {
    if (!coreThread) return;
    coreThread->Run(StopModuleRuntime);
    coreThread.reset();
}
