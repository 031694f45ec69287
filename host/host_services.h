// SPDX-License-Identifier: GPL-2.0-or-later
// Host services outside graphics and settings: the log, warnings, message
// boxes, the localisation table and the colour control.
#pragma once

#include "host/host_string.h"

// Writes one printf-style line to the host log. The format is UTF-16 and
// understands %s (UTF-16 text), %c, %d, %i, %u, %x, %X, %o, %f, %e, %g and %%,
// with flags, width, precision and the sizes h, l, ll and z.
void Log(CTSTR format, ...);
// The same, marked as a warning.
void AppWarning(CTSTR format, ...);

// Shows a message to the user. The result is the button pressed.
int OBSMessageBox(void* owner, CTSTR text, CTSTR caption, unsigned style);

class LocaleStringLookup {
public:
    virtual ~LocaleStringLookup() = default;
    // The localised text for `key`; an unknown key gives the key itself.
    virtual CTSTR LookupString(CTSTR key) = 0;
};
extern LocaleStringLookup* locale;

// Makes the host's colour picker control available to the plug-in module.
void InitColorControl(ModuleHandle module);
