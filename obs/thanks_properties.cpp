// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/thanks_properties.h"

#include "obs/setting_widgets.h"
#include "obs/user_docs.h"
#include "render/text_font.h"

#include <obs-module.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The defaults, where the drawing and the "Set:" message used to differ:
// a face that a Linux streamer has (the package recommends it) and that
// holds Chinese, the assembly's orange, the drawing's 48 px and black
// outline, and the outline on, so that a new source reads on a dark and on a
// light scene alike.
constexpr const char* kDefaultFont = "WenQuanYi Micro Hei";
constexpr int32_t kOrange = static_cast<int32_t>(0xFFFF9000u);
constexpr int32_t kBlack = static_cast<int32_t>(0xFF000000u);

struct IntDefault {
    const char* key;
    int64_t value;
};

constexpr IntDefault kIntDefaults[] = {
    {"color", kOrange},
    {"fontSize", 48},
    {"textOpacity", 100},
    {"backgroundColor", kBlack},
    {"backgroundOpacity", 0},
    {"RandomColor", 0},
    {"RandomModeType", 0},
    {"bold", 0},
    {"italic", 0},
    {"underline", 0},
    {"outline", 1},
    {"outlineOpacity", 100},
    {"outlineColor", kBlack},
    {"outlineSize", 2},
    {"show_second", 10},
    {"show_size", 10},
    {"is_no_thanks", 1},
    {"is_use_toolbox", 0},
    {"is_save_record", 0},
    {"gift_limit_mode", 1},
    {"delay_show_second", 5},
    {"is_use_thanks", 1},
    {"is_use_answer", 1},
    {"answer_lines", 3},
    {"answer_second", 10},
    {"usingASCII", 0},
};

struct TextDefault {
    const char* key;
    const char* value;
};

constexpr TextDefault kTextDefaults[] = {
    {"font", kDefaultFont},
    {"room_name", ""},
    {"thanks_string", "感谢$sender$赠送的$num$个$gift$ $combo$"},
    {"no_thanks_string", "o(∩_∩)o 送礼物上电视啦o(∩_∩)o "},
    {"save_folder", ""},
    {"blocked_words", ""},
};

const char* Text(const char* key) { return obs_module_text(key); }

// The text of `key` with its "$1" replaced by `argument`.
std::string TextWith(const char* key, const std::string& argument) {
    std::string text = Text(key);
    if (const size_t at = text.find("$1"); at != std::string::npos) text.replace(at, 2, argument);
    return text;
}

// A check box for a flag key: it edits the flag's widget key.
obs_property_t* AddFlag(obs_properties_t* group, const char* designKey, const char* label) {
    return obs_properties_add_bool(group, WidgetKeyOf(designKey).c_str(), Text(label));
}

obs_property_t* AddColor(obs_properties_t* group, const char* designKey, const char* label) {
    return obs_properties_add_color(group, WidgetKeyOf(designKey).c_str(), Text(label));
}

obs_property_t* AddPercent(obs_properties_t* group, const char* key, const char* label) {
    obs_property_t* slider = obs_properties_add_int_slider(group, key, Text(label), 0, 100, 1);
    obs_property_int_set_suffix(slider, "%");
    return slider;
}

// The keys shown only while their switch is on.
struct Dependents {
    const char* switchKey;  // a widget key
    std::vector<const char*> keys;
};

const std::vector<Dependents>& DependentKeys() {
    static const std::vector<Dependents> dependents = {
        {"widget.outline", {"outlineSize", "widget.outlineColor", "outlineOpacity"}},
        {"widget.is_no_thanks", {"no_thanks_string"}},
        {"widget.RandomColor", {"RandomModeType"}},
        {"widget.is_use_thanks", {"gift_limit_mode", "delay_show_second", "show_second"}},
        {"widget.is_save_record", {"save_folder"}},
    };
    return dependents;
}

void ShowDependents(obs_properties_t* properties, obs_data_t* settings) {
    for (const Dependents& dependents : DependentKeys()) {
        const bool on = settings && obs_data_get_bool(settings, dependents.switchKey);
        for (const char* key : dependents.keys)
            obs_property_set_visible(obs_properties_get(properties, key), on);
    }
}

// A widget the user changed: its plug-in key follows at once, before OBS
// sends the settings to the source; a switch shows or hides its dependents
// (true: the view is rebuilt).
bool OnWidgetModified(void*, obs_properties_t* properties, obs_property_t* property, obs_data_t* settings) {
    const char* key = obs_property_name(property);
    ApplyWidgetValue(settings, key);
    for (const Dependents& dependents : DependentKeys()) {
        if (std::string(dependents.switchKey) == key) {
            ShowDependents(properties, settings);
            return true;
        }
    }
    return false;
}

void FollowWidget(obs_property_t* property) { obs_property_set_modified_callback2(property, OnWidgetModified, nullptr); }

void AddFontList(obs_properties_t* group, obs_data_t* settings) {
    obs_property_t* list =
        obs_properties_add_list(group, "font", Text("Font"), OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
    const std::vector<std::string> families = InstalledFontFamilies();
    // The stored face stays selectable even where it is not installed (a
    // scene collection from another machine): it is drawn with the fallback.
    const char* current = settings ? obs_data_get_string(settings, "font") : "";
    if (current && *current && std::find(families.begin(), families.end(), current) == families.end()) {
        obs_property_list_add_string(list, TextWith("FontNotInstalled", current).c_str(), current);
    }
    for (const std::string& family : families) obs_property_list_add_string(list, family.c_str(), family.c_str());
}

obs_properties_t* TextStyleGroup(obs_data_t* settings) {
    obs_properties_t* group = obs_properties_create();
    AddFontList(group, settings);
    obs_property_t* size = obs_properties_add_int(group, "fontSize", Text("FontSize"), 1, 1024, 1);
    obs_property_int_set_suffix(size, " px");
    FollowWidget(AddFlag(group, "bold", "Bold"));
    FollowWidget(AddFlag(group, "italic", "Italic"));
    FollowWidget(AddFlag(group, "underline", "Underline"));
    FollowWidget(AddColor(group, "color", "Color"));
    AddPercent(group, "textOpacity", "TextOpacity");
    FollowWidget(AddFlag(group, "RandomColor", "RandomColor"));
    obs_property_t* mode = obs_properties_add_list(group, "RandomModeType", Text("RandomModeType"),
                                                   OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_INT);
    obs_property_list_add_int(mode, Text("RandomModeType.Random"), 0);
    obs_property_list_add_int(mode, Text("RandomModeType.Palette"), 1);
    return group;
}

obs_properties_t* OutlineGroup() {
    obs_properties_t* group = obs_properties_create();
    FollowWidget(AddFlag(group, "outline", "Outline"));
    obs_property_t* width = obs_properties_add_int_slider(group, "outlineSize", Text("OutlineSize"), 1, 32, 1);
    obs_property_int_set_suffix(width, " px");
    FollowWidget(AddColor(group, "outlineColor", "OutlineColor"));
    AddPercent(group, "outlineOpacity", "OutlineOpacity");
    return group;
}

obs_properties_t* BackgroundGroup() {
    obs_properties_t* group = obs_properties_create();
    FollowWidget(AddColor(group, "backgroundColor", "BackgroundColor"));
    AddPercent(group, "backgroundOpacity", "BackgroundOpacity");
    return group;
}

obs_property_t* AddSeconds(obs_properties_t* group, const char* key, const char* label, int min) {
    obs_property_t* seconds = obs_properties_add_int(group, key, Text(label), min, 3600, 1);
    obs_property_int_set_suffix(seconds, " s");
    obs_property_set_long_description(seconds, Text((std::string(label) + ".Hint").c_str()));
    return seconds;
}

// Where gifts come from ("room_name", the key scenes are saved with): first
// in the window, since a streamer who reads "room" types a room number, and
// the plug-in logs in to no platform. The hint names the installed page on
// connecting a gift tool.
obs_properties_t* GiftsGroup() {
    obs_properties_t* group = obs_properties_create();
    const std::string hint =
        TextWith("RoomName.Hint", UserDocFile(obs_get_module_data_path(obs_current_module()), "connecting-gifts.md"));
    obs_property_t* room = obs_properties_add_text(group, "room_name", Text("RoomName"), OBS_TEXT_DEFAULT);
    obs_property_set_long_description(room, hint.c_str());
    obs_properties_add_text(group, "room_name_hint", hint.c_str(), OBS_TEXT_INFO);
    return group;
}

obs_properties_t* ThanksGroup() {
    obs_properties_t* group = obs_properties_create();
    FollowWidget(AddFlag(group, "is_use_thanks", "IsUseThanks"));
    obs_property_t* thanks = obs_properties_add_text(group, "thanks_string", Text("ThanksString"), OBS_TEXT_DEFAULT);
    obs_property_set_long_description(thanks, Text("ThanksString.Hint"));
    obs_properties_add_text(group, "thanks_string_hint", Text("ThanksString.Hint"), OBS_TEXT_INFO);
    AddSeconds(group, "show_second", "ShowSecond", 1);
    AddSeconds(group, "delay_show_second", "DelayShowSecond", 0);
    obs_property_t* value = obs_properties_add_int(group, "gift_limit_mode", Text("GiftLimitMode"), 0, 100000000, 1);
    obs_property_set_long_description(value, Text("GiftLimitMode.Hint"));
    FollowWidget(AddFlag(group, "is_no_thanks", "IsNoThanks"));
    obs_properties_add_text(group, "no_thanks_string", Text("NoThanksString"), OBS_TEXT_DEFAULT);
    return group;
}

obs_properties_t* RecordGroup() {
    obs_properties_t* group = obs_properties_create();
    FollowWidget(AddFlag(group, "is_save_record", "IsSaveRecord"));
    obs_properties_add_path(group, "save_folder", Text("SaveFolder"), OBS_PATH_DIRECTORY, nullptr, nullptr);
    return group;
}

// The words never drawn ("blocked_words", source/blocked_words.h), one a
// line; the plug-in's own, not sent to the logic assembly.
void AddModerationGroup(obs_properties_t* properties) {
    obs_properties_t* group = obs_properties_create();
    obs_property_t* words = obs_properties_add_text(group, "blocked_words", Text("BlockedWords"), OBS_TEXT_MULTILINE);
    obs_property_set_long_description(words, Text("BlockedWords.Hint"));
    obs_properties_add_text(group, "blocked_words_hint", Text("BlockedWords.Hint"), OBS_TEXT_INFO);
    obs_properties_add_group(properties, "group.moderation", Text("Group.Moderation"), OBS_GROUP_NORMAL, group);
}

}  // namespace

void GetThanksDefaults(obs_data_t* settings) {
    for (const IntDefault& entry : kIntDefaults) obs_data_set_default_int(settings, entry.key, entry.value);
    for (const TextDefault& entry : kTextDefaults) obs_data_set_default_string(settings, entry.key, entry.value);
    SetWidgetDefaults(settings);
}

obs_properties_t* GetThanksProperties(obs_data_t* settings, obs_property_clicked_t onConfigure, void* source) {
    // The widgets show the plug-in's keys as they are now: the logic
    // assembly or the core may have changed them since the view was built.
    if (settings) ShowDesignValuesInWidgets(settings);
    obs_properties_t* properties = obs_properties_create();
    obs_properties_add_group(properties, "group.gifts", Text("Group.Gifts"), OBS_GROUP_NORMAL, GiftsGroup());
    obs_properties_add_group(properties, "group.text", Text("Group.TextStyle"), OBS_GROUP_NORMAL,
                             TextStyleGroup(settings));
    obs_properties_add_group(properties, "group.outline", Text("Group.Outline"), OBS_GROUP_NORMAL, OutlineGroup());
    obs_properties_add_group(properties, "group.background", Text("Group.Background"), OBS_GROUP_NORMAL,
                             BackgroundGroup());
    obs_properties_add_group(properties, "group.thanks", Text("Group.Thanks"), OBS_GROUP_NORMAL, ThanksGroup());
    obs_properties_add_group(properties, "group.record", Text("Group.Record"), OBS_GROUP_NORMAL, RecordGroup());
    AddModerationGroup(properties);
    obs_properties_add_button2(properties, "configure", Text("Configure"), onConfigure, source);
    ShowDependents(properties, settings);
    return properties;
}
