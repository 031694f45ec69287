// SPDX-License-Identifier: GPL-2.0-or-later
// The settings the "Set:" command carries, in their order after the window
// number: each key, whether its value is text (otherwise a signed decimal
// integer), and the value the logic assembly is told when the source has
// none. The defaults differ from the drawing defaults on purpose: the
// assembly's form shows its own. The protocol's reference page lists these
// fields, and a test holds that list to this one.
#pragma once

#include "host/host_types.h"

#include <iterator>

struct SettingsField {
    CTSTR key;
    bool isText;
    CTSTR textDefault;
    int intDefault;
};

inline constexpr SettingsField kSettingsFields[] = {
    {u"font", true, u"宋体", 0},
    {u"color", false, nullptr, static_cast<int>(0xFFFF9000u)},
    {u"fontSize", false, nullptr, 56},
    {u"textOpacity", false, nullptr, 100},
    {u"backgroundColor", false, nullptr, static_cast<int>(0xFF000000u)},
    {u"backgroundOpacity", false, nullptr, 0},
    {u"RandomColor", false, nullptr, 0},
    {u"RandomModeType", false, nullptr, 0},
    {u"bold", false, nullptr, 0},
    {u"italic", false, nullptr, 0},
    {u"underline", false, nullptr, 0},
    {u"outline", false, nullptr, 0},
    {u"outlineOpacity", false, nullptr, 100},
    {u"outlineColor", false, nullptr, static_cast<int>(0xFF808080u)},
    {u"outlineSize", false, nullptr, 2},
    {u"room_name", true, u"", 0},
    {u"thanks_string", true, u"感谢$sender$赠送的$num$个$gift$ $combo$", 0},
    {u"no_thanks_string", true, u"o(∩_∩)o 送礼物上电视啦o(∩_∩)o ", 0},
    {u"show_second", false, nullptr, 10},
    {u"show_size", false, nullptr, 10},
    {u"is_no_thanks", false, nullptr, 1},
    {u"is_use_toolbox", false, nullptr, 0},
    {u"is_save_record", false, nullptr, 0},
    {u"save_folder", true, u"", 0},
    {u"gift_limit_mode", false, nullptr, 1},
    {u"delay_show_second", false, nullptr, 5},
    {u"is_use_thanks", false, nullptr, 1},
    {u"is_use_answer", false, nullptr, 1},
    {u"answer_lines", false, nullptr, 3},
    {u"answer_second", false, nullptr, 10},
};
static_assert(std::size(kSettingsFields) == 30, "the window number and 30 settings make 31 fields");
