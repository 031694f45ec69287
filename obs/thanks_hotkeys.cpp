// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/thanks_hotkeys.h"

#include "obs/thanks_source.h"

#include <obs-module.h>

#include <array>
#include <string_view>

namespace {

struct Hotkey {
    const char* name;
    const char* description;  // locale key
    const char* action;
};

constexpr std::array<Hotkey, 5> kHotkeys{{
    {"morvik_thanks.test", "Hotkey.Test", "test"},
    {"morvik_thanks.skip", "Hotkey.Skip", "skip"},
    {"morvik_thanks.pause", "Hotkey.Pause", "pause"},
    {"morvik_thanks.resume", "Hotkey.Resume", "resume"},
    {"morvik_thanks.clear", "Hotkey.Clear", "clear"},
}};

void OnHotkey(void* data, obs_hotkey_id, obs_hotkey_t* pressedKey, bool pressed) {
    if (!pressed) return;
    const std::string_view name = obs_hotkey_get_name(pressedKey);
    for (const Hotkey& hotkey : kHotkeys)
        if (name == hotkey.name) static_cast<ThanksSource*>(data)->ControlLater(hotkey.action);
}

}  // namespace

ThanksHotkeys::ThanksHotkeys(obs_source_t* source, ThanksSource* target) {
    if (!source) return;
    for (const Hotkey& hotkey : kHotkeys)
        ids_.push_back(obs_hotkey_register_source(source, hotkey.name, obs_module_text(hotkey.description), OnHotkey,
                                                  target));
}

ThanksHotkeys::~ThanksHotkeys() {
    for (const size_t id : ids_) obs_hotkey_unregister(id);
}
