// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/source_callbacks.h"

#include "obs/core_thread.h"
#include "obs/obs_gs.h"
#include "obs/source_core.h"
#include "obs/thanks_controls.h"
#include "obs/thanks_properties.h"
#include "obs/thanks_source.h"

#include <obs-module.h>

namespace {

// The source type's data: the core thread, which every source shares and
// which may outlive the module's unload with them.
using CoreThreadRef = std::shared_ptr<CoreThread>;

void FreeTypeData(void* data) { std::unique_ptr<CoreThreadRef>{static_cast<CoreThreadRef*>(data)}; }

ThanksSource* Of(void* data) { return static_cast<ThanksSource*>(data); }

const char* GetName(void*) { return obs_module_text("MorvikThanks"); }

void* Create(obs_data_t* settings, obs_source_t* source) {
    const auto* core = static_cast<const CoreThreadRef*>(obs_source_get_type_data(source));
    const char* name = obs_source_get_name(source);
    return std::make_unique<ThanksSource>(*core, settings, source, obs_source_get_weak_source(source), name ? name : "")
        .release();
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

// Also asked for without a source (the properties of the source type). The
// Controls group is added here, for both, so that the source does not reach
// back into the controls, which reach the source.
obs_properties_t* GetProperties(void* data) {
    ThanksSource* source = Of(data);
    obs_properties_t* properties = source ? source->Properties() : GetThanksProperties(nullptr, nullptr, nullptr);
    AddControlButtons(properties, source);
    return properties;
}

}  // namespace

void RegisterThanksSource(std::shared_ptr<CoreThread> core) {
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
    info.get_defaults = GetThanksDefaults;
    info.get_properties = GetProperties;
    core->OnMessages(SourceCore::UpdateAfterMessages);
    SourceCore::ForwardChannelEvents();
    info.type_data = std::make_unique<CoreThreadRef>(std::move(core)).release();
    info.free_type_data = FreeTypeData;
    obs_register_source(&info);
}
