// SPDX-License-Identifier: GPL-2.0-or-later
// The face lookup shared by the rasteriser and the base-size measurement:
// turns a face name, a character cell height and bold/italic into the font
// that Pango lays out with, plus the metrics the layout rules are built on.
#pragma once

#include "host/host_string.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The font of one drawing or measurement. The font size is the character cell
// height (Windows ascent + descent of the face), so the em is derived from the
// face's OS/2 winAscent + winDescent: Liberation Sans at 48 gives an em of
// 48 * 2048 / 2288 = 42.97 px. Line metrics are the face's horizontal ascender,
// descender and line gap, scaled to that em.
struct TextFont {
    std::string family;        // fontconfig family of the matched face, for Pango
    bool bold = false;         // weight 700, else regular
    bool italic = false;
    double emSize = 0.0;       // px
    double ascent = 0.0;       // px above the baseline
    double descent = 0.0;      // px below the baseline
    double lineGap = 0.0;      // px
    double underlineTop = 0.0; // px below the baseline to the underline's top edge
    double underlineThickness = 0.0;

    double LineSpacing() const { return ascent + descent + lineGap; }
    bool operator==(const TextFont&) const = default;
};

// Font sizes are clamped into this range before the em is derived: a
// texture is never larger than 8192 px, and a glyph must stay renderable.
inline constexpr int32_t kMinFontPixels = 1;
inline constexpr int32_t kMaxFontPixels = 8192;

// Only this many UTF-16 units of a face name count, as with the platform's
// fixed 32-unit face name field.
inline constexpr size_t kFaceNameLimit = 31;

// Looks the face up by name without any fallback. A name counts as found when
// fontconfig has a face whose family name (in any of its languages) equals it
// ignoring case, or when a configured alias binds it strongly (as "Arial" is
// bound to Liberation Sans). Only the first 31 characters of `faceName` count.
// Results are kept for the process's life, so the lookup costs a map search
// after the first call for a name.
std::optional<TextFont> FindTextFace(const String& faceName, int32_t fontSize, bool bold, bool italic);

// The rasteriser's font: the face name, or "Arial" when the name is empty or
// not found. None only when even "Arial" cannot be found.
std::optional<TextFont> CreateTextFont(const String& faceName, int32_t fontSize, bool bold, bool italic);

// The family names of the installed faces, as fontconfig lists them, sorted
// and each once: the names FindTextFace finds.
std::vector<std::string> InstalledFontFamilies();
