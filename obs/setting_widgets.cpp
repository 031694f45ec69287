// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/setting_widgets.h"

#include "obs/obs_settings_element.h"

#include <cstring>

namespace {

// A flag is on at any non-zero value, except where the drawing and the logic
// assembly read it as on only at exactly 1 ("outline", "is_no_thanks",
// "is_save_record").
enum class WidgetKind { Color, Flag, FlagAtOne };

struct WidgetKey {
    const char* designKey;
    const char* widgetKey;
    WidgetKind kind;
};

constexpr WidgetKey kWidgetKeys[] = {
    {"color", "widget.color", WidgetKind::Color},
    {"outlineColor", "widget.outlineColor", WidgetKind::Color},
    {"backgroundColor", "widget.backgroundColor", WidgetKind::Color},
    {"bold", "widget.bold", WidgetKind::Flag},
    {"italic", "widget.italic", WidgetKind::Flag},
    {"underline", "widget.underline", WidgetKind::Flag},
    {"outline", "widget.outline", WidgetKind::FlagAtOne},
    {"RandomColor", "widget.RandomColor", WidgetKind::Flag},
    {"is_no_thanks", "widget.is_no_thanks", WidgetKind::FlagAtOne},
    {"is_use_thanks", "widget.is_use_thanks", WidgetKind::Flag},
    {"is_save_record", "widget.is_save_record", WidgetKind::FlagAtOne},
};

const WidgetKey* ByWidgetKey(const char* widgetKey) {
    for (const WidgetKey& entry : kWidgetKeys)
        if (widgetKey && std::strcmp(entry.widgetKey, widgetKey) == 0) return &entry;
    return nullptr;
}

bool FlagIsOn(const WidgetKey& entry, int64_t value) {
    return entry.kind == WidgetKind::FlagAtOne ? value == 1 : value != 0;
}

// The plug-in key's value as every host reads it (a number, a flag or a text
// in any of the types a scene collection may hold), its default if unset.
int64_t DesignValue(obs_data_t* settings, const WidgetKey& entry) {
    ObsDataElement view(settings, "");
    const String key(entry.designKey);
    return view.GetInt(key.Array(), static_cast<int>(obs_data_get_default_int(settings, entry.designKey)));
}

}  // namespace

int64_t WidgetColorOf(int32_t argb) {
    const uint32_t value = static_cast<uint32_t>(argb);
    const uint32_t red = (value >> 16) & 0xFF, green = (value >> 8) & 0xFF, blue = value & 0xFF;
    return static_cast<int64_t>(0xFF000000u | blue << 16 | green << 8 | red);
}

int32_t DesignColorOf(int64_t abgr) {
    const uint32_t value = static_cast<uint32_t>(abgr);
    const uint32_t red = value & 0xFF, green = (value >> 8) & 0xFF, blue = (value >> 16) & 0xFF;
    return static_cast<int32_t>(0xFF000000u | red << 16 | green << 8 | blue);
}

std::string WidgetKeyOf(const char* designKey) {
    for (const WidgetKey& entry : kWidgetKeys)
        if (std::strcmp(entry.designKey, designKey) == 0) return entry.widgetKey;
    return "";
}

void SetWidgetDefaults(obs_data_t* settings) {
    for (const WidgetKey& entry : kWidgetKeys) {
        const int64_t value = obs_data_get_default_int(settings, entry.designKey);
        if (entry.kind == WidgetKind::Color)
            obs_data_set_default_int(settings, entry.widgetKey, WidgetColorOf(static_cast<int32_t>(value)));
        else
            obs_data_set_default_bool(settings, entry.widgetKey, FlagIsOn(entry, value));
    }
}

void ShowDesignValuesInWidgets(obs_data_t* settings) {
    // Only what differs is written: building the Properties window must not
    // change the settings it compares against when it is cancelled.
    for (const WidgetKey& entry : kWidgetKeys) {
        if (!obs_data_has_user_value(settings, entry.designKey)) {
            if (obs_data_has_user_value(settings, entry.widgetKey)) obs_data_unset_user_value(settings, entry.widgetKey);
            continue;
        }
        const int64_t value = DesignValue(settings, entry);
        if (entry.kind == WidgetKind::Color) {
            const int64_t shown = WidgetColorOf(static_cast<int32_t>(value));
            if (obs_data_get_int(settings, entry.widgetKey) != shown) obs_data_set_int(settings, entry.widgetKey, shown);
        } else {
            const bool shown = FlagIsOn(entry, value);
            if (obs_data_get_bool(settings, entry.widgetKey) != shown) obs_data_set_bool(settings, entry.widgetKey, shown);
        }
    }
}

bool ApplyWidgetValue(obs_data_t* settings, const char* widgetKey) {
    const WidgetKey* entry = ByWidgetKey(widgetKey);
    if (!entry) return false;
    const int64_t current = DesignValue(settings, *entry);
    if (entry->kind == WidgetKind::Color) {
        const int32_t picked = DesignColorOf(obs_data_get_int(settings, entry->widgetKey));
        // The picker has no alpha: a colour it still shows is left alone.
        if (WidgetColorOf(static_cast<int32_t>(current)) != WidgetColorOf(picked))
            obs_data_set_int(settings, entry->designKey, picked);
    } else {
        const bool on = obs_data_get_bool(settings, entry->widgetKey);
        if (FlagIsOn(*entry, current) != on) obs_data_set_int(settings, entry->designKey, on ? 1 : 0);
    }
    return true;
}
