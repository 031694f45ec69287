// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/thanks_controls.h"

#include "channel/control_error.h"
#include "channel/control_request.h"
#include "obs/thanks_source.h"

#include <obs-module.h>

#include <dlfcn.h>

#include <variant>

namespace {

constexpr const char* kSourceId = "morvik_thanks_image";

ThanksSource* Of(void* data) { return static_cast<ThanksSource*>(data); }

bool OnTest(obs_properties_t*, obs_property_t*, void* data) {
    Of(data)->ControlLater("test");
    return false;
}

bool OnSkip(obs_properties_t*, obs_property_t*, void* data) {
    Of(data)->ControlLater("skip");
    return false;
}

// The label follows once the answer says the thanks are paused or not: the
// core refreshes the view then.
bool OnPause(obs_properties_t*, obs_property_t*, void* data) {
    Of(data)->ControlLater(Of(data)->Paused() ? "resume" : "pause");
    return false;
}

bool OnClear(obs_properties_t*, obs_property_t*, void* data) {
    Of(data)->ControlLater("clear");
    return false;
}

// OBS 29.1 and later find a source by its uuid; the module runs on 29.0 too,
// so the function is looked up in the process rather than linked.
using UuidLookup = obs_source_t* (*)(const char* uuid);
UuidLookup SourceByUuid() {
    static const auto lookup = reinterpret_cast<UuidLookup>(dlsym(RTLD_DEFAULT, "obs_get_source_by_uuid"));
    return lookup;
}

}  // namespace

void AddControlButtons(obs_properties_t* properties, ThanksSource* source) {
    obs_properties_t* group = obs_properties_create();
    const bool paused = source && source->Paused();
    obs_properties_add_button2(group, "test_gift", obs_module_text("TestGift"), source ? OnTest : nullptr, source);
    obs_properties_add_button2(group, "skip_thanks", obs_module_text("SkipThanks"), source ? OnSkip : nullptr, source);
    obs_properties_add_button2(group, "pause_thanks", obs_module_text(paused ? "ResumeThanks" : "PauseThanks"),
                               source ? OnPause : nullptr, source);
    obs_properties_add_button2(group, "clear_thanks", obs_module_text("ClearThanks"), source ? OnClear : nullptr,
                               source);
    obs_properties_add_group(properties, "group.controls", obs_module_text("Group.Controls"), OBS_GROUP_NORMAL, group);
}

std::string ControlInput(const std::string& inputName, const std::string& inputUuid, const std::string& action,
                         const std::string& argument) {
    const std::variant<ControlRequest, std::string> checked = CheckControlRequest(inputName, action, argument);
    if (const std::string* refusal = std::get_if<std::string>(&checked)) return *refusal;
    obs_source_t* source = nullptr;
    if (!inputName.empty()) {
        source = obs_get_source_by_name(inputName.c_str());
        if (!source) return ControlError("there is no input named \"" + inputName + "\"");
    } else if (!inputUuid.empty()) {
        const UuidLookup lookup = SourceByUuid();
        if (!lookup) return ControlError("inputUuid needs OBS Studio 29.1 or later; give inputName");
        source = lookup(inputUuid.c_str());
        if (!source) return ControlError("there is no input with the uuid \"" + inputUuid + "\"");
    } else {
        return ControlError("give inputName or inputUuid");
    }
    std::string answer;
    const char* id = obs_source_get_unversioned_id(source);
    if (!id || std::string(id) != kSourceId) {
        answer = ControlError("\"" + std::string(obs_source_get_name(source)) + "\" is not a thanks source");
    } else if (void* data = obs_obj_get_data(source)) {
        answer = Of(data)->Control(std::get<ControlRequest>(checked), kControlLimit);
    } else {
        answer = ControlError("the thanks source is not ready");
    }
    obs_source_release(source);
    return answer;
}
