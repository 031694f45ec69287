// SPDX-License-Identifier: GPL-2.0-or-later
// The thanks source's defaults and its Properties window in OBS Studio.
//
// Every key the logic assembly is sent with "Set:" and every key the drawing
// reads gets one default, so a new source's settings hold all of them and
// the assembly is told exactly what is drawn. The widgets edit those keys
// directly, except colour pickers and check boxes (obs/setting_widgets.h).
#pragma once

#include <obs-properties.h>

// get_defaults.
void GetThanksDefaults(obs_data_t* settings);

// get_properties: the groups Gift source, Text style, Outline, Background,
// Thanks, Gift record and Moderation, then the logic assembly's own form behind the
// button "configure", which calls `onConfigure` with `source`. `settings`
// are the source's (null when OBS asks for the properties of the source
// type): their font is offered even when it is not installed, and the
// widgets show their values.
obs_properties_t* GetThanksProperties(obs_data_t* settings, obs_property_clicked_t onConfigure, void* source);
