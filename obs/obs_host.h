// SPDX-License-Identifier: GPL-2.0-or-later
// What the OBS Studio module sets up in its host-services library, without
// the host's graphics header (libobs's own clashes with it).
#pragma once

// Looks up a UTF-8 key in the module's locale table (obs_module_text), giving
// the key itself when it is unknown. Until one is installed, `locale` gives
// every key back unchanged.
using ModuleTextLookup = const char* (*)(const char* key);
void SetModuleTextLookup(ModuleTextLookup lookup);

// Makes the libobs graphics system the host's GS (obs/obs_graphics.h).
void InstallObsGraphics();
