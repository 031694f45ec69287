// SPDX-License-Identifier: GPL-2.0-or-later
// Lays text out with Pango under the platform's typographic rules: logical
// extents, trailing spaces counted, no wrapping, and every line exactly one
// line spacing of the primary face, with fallback glyphs on its baseline.
#pragma once

#include "render/render_handles.h"
#include "render/text_font.h"

#include <string>
#include <vector>

// The two ways text is laid out. Drawing: hinting off, glyph positions not
// rounded, grey anti-aliasing, simplified-Chinese preferred for fallback
// glyphs. Measuring the base size: the font system's default hinting and no
// script preference.
enum class LayoutMode { Drawing, Measuring };

// The process's one Pango context per mode, on one font map kept for the
// process's life (a font map per call would cost milliseconds and threads).
PangoContext* SharedTextContext(LayoutMode mode);

// Rectangle of laid-out text in pixels.
struct TextBox {
    float x = 0.0f;
    float y = 0.0f;
    float width = 32.0f;
    float height = 32.0f;
    bool operator==(const TextBox&) const = default;
};

// One glyph at its place relative to the top-left of the text: x along the
// line, y on the baseline. The font is borrowed from the layout. `textForm`:
// its characters ask for the text form of an emoji (U+FE0E, or a character
// shown as text by default), so it is drawn in the text colour even when only
// a colour font had it.
struct PlacedGlyph {
    PangoFont* font = nullptr;
    PangoGlyph glyph = 0;
    double x = 0.0;
    double y = 0.0;
    bool textForm = false;
};

// One underlined stretch of a line, in the same coordinates; `top` is the
// underline's top edge.
struct UnderlineSpan {
    double x = 0.0;
    double width = 0.0;
    double top = 0.0;
    double thickness = 0.0;
};

// A per-source layout: keeps its Pango layout and font description between
// calls, so an unchanged font costs nothing on the next frame.
class TextLayout {
public:
    explicit TextLayout(LayoutMode mode);

    // Lays `utf8` out in `font` and returns its logical box at (0, 0): the
    // widest line's advance (trailing spaces included) by the number of lines
    // times the primary face's line spacing. Lines break only at the text's
    // own line breaks. Other control characters (C0 but for line feed and
    // carriage return, DEL, C1) are laid out as nothing.
    TextBox Lay(const std::string& utf8, const TextFont& font, bool underline);

    // The glyphs and underlines of the last Lay, valid until the next one.
    const std::vector<PlacedGlyph>& Glyphs() const { return glyphs_; }
    const std::vector<UnderlineSpan>& Underlines() const { return underlines_; }

private:
    void SetFont(const TextFont& font, bool underline);

    GObjectPtr<PangoLayout> layout_;
    std::optional<TextFont> font_;
    bool underline_ = false;
    std::vector<PlacedGlyph> glyphs_;
    std::vector<UnderlineSpan> underlines_;
};
