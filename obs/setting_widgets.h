// SPDX-License-Identifier: GPL-2.0-or-later
// The one place where OBS's widgets and the plug-in's settings keys meet.
//
// The plug-in's keys are the stored truth in a source's obs_data_t, in the
// types every host and the logic assembly read: colours 0xAARRGGBB as signed
// 32-bit integers, flags as integers. Two kinds of OBS widget store another
// layout, so they get a key of their own beside the plug-in's:
//   - colour pickers store 0xAABBGGRR ("widget.color" for "color", ...);
//   - check boxes store a boolean ("widget.bold" for "bold", ...).
// Both directions go through here: the widget keys are set from the plug-in's
// keys whenever the properties are built or the core has written the
// settings, and a widget the user changes sets its plug-in key at once.
#pragma once

#include <obs-data.h>

#include <cstdint>
#include <string>

// Colour layouts: gold 0xFFFFD700 is 0xFF00D7FF in a colour picker. The
// picker has no alpha (the opacities are separate settings), so a colour
// from it comes back opaque, as colours from the logic assembly do.
int64_t WidgetColorOf(int32_t argb);
int32_t DesignColorOf(int64_t abgr);

// The widget key shown for a plug-in key, or "" when that key's widget
// stores the plug-in's own layout.
std::string WidgetKeyOf(const char* designKey);

// Each widget key's default, from its plug-in key's default.
void SetWidgetDefaults(obs_data_t* settings);

// Every widget key set from its plug-in key: the plug-in key's user value
// converted, or no user value where the plug-in key has none.
void ShowDesignValuesInWidgets(obs_data_t* settings);

// The plug-in key of the widget `widgetKey` set from the widget's value;
// false when `widgetKey` is no widget key of this table.
bool ApplyWidgetValue(obs_data_t* settings, const char* widgetKey);
