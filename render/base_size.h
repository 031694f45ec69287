// SPDX-License-Identifier: GPL-2.0-or-later
// The base size of a thanks source: the built-in hint text measured in the
// font its settings describe, stored back as "baseSizeCX" and "baseSizeCY".
#pragma once

#include "host/OBSApi.h"
#include "render/text_layout.h"

// The stored size for a measured box: the box width, and its height but at
// least the font size; each at least 32.
Vect2 ComputeBaseSize(const TextBox& measured, int32_t fontSize);

// Measures `hintText` (the process's built-in hint; the display text never
// enters the base size) in the face of "font" (default "Arial"; an empty
// value measures in "Arial"), "fontSize", "bold" and "italic" of `settings`,
// with the font system's default hinting and no underline, and stores the
// result as the floats "baseSizeCX", then "baseSizeCY". A face that cannot be
// found is not replaced by another: the localised
// "Sources.TextSource.FontNotFound" message, "$1" replaced by the font name,
// is shown and nothing is stored. No settings: nothing happens.
void MeasureBaseSize(XElement* settings, const String& hintText);
