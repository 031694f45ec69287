// SPDX-License-Identifier: GPL-2.0-or-later
// Grey anti-aliased coverage of glyphs and of their round-joined strokes,
// rendered once per glyph, size and quarter-pixel position and then reused,
// and the coverage layer that a whole text is gathered into before it is
// composited in one go.
#pragma once

#include "render/render_handles.h"
#include "render/text_layout.h"

#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

// Coverage of one glyph (or its stroke), placed relative to the pixel that
// holds the glyph origin.
struct GlyphMask {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;   // width x height, top row first
};

// An A8 coverage buffer as large as the pixel buffer. Glyph coverages are
// added with saturation, so glyphs and strokes that touch or overlap form one
// shape, as one path filled or stroked once would.
class CoverageLayer {
public:
    void Reset(int width, int height);
    void Add(const GlyphMask& mask, int x, int y);
    // Underline rectangles, filled or stroked with round joins.
    void AddUnderlines(const std::vector<UnderlineSpan>& spans, double originX, double originY, float strokeWidth);
    // Blends `argb` (straight 0xAARRGGBB) through the coverage onto `target`.
    void Composite(cairo_t* target, uint32_t argb);

private:
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<uint8_t> data_;
    // The part that holds any coverage, so compositing touches no more.
    int dirtyLeft_ = 0, dirtyTop_ = 0, dirtyRight_ = 0, dirtyBottom_ = 0;
};

// Gathers the glyphs of a laid-out text into `layer`: their fill when
// `strokeWidth` is 0, else the stroke of their outlines at that width with
// round joins. (originX, originY) is the top-left of the text in the layer.
// Glyphs the font draws in colour (emoji) are left out of the fill, unless
// asked for in their text form; their stroke follows their silhouette like
// any other glyph's.
void AddGlyphCoverage(CoverageLayer& layer, const std::vector<PlacedGlyph>& glyphs, double originX, double originY,
                      float strokeWidth);

// Draws the glyphs of a laid-out text that the font draws in colour and that
// are not asked for in their text form, in their own colours, over `target` with `alpha` (0..255, the text's opacity).
// (originX, originY) as for AddGlyphCoverage. Text without colour glyphs
// leaves `target` untouched.
void DrawColourGlyphs(cairo_t* target, const std::vector<PlacedGlyph>& glyphs, double originX, double originY,
                      uint8_t alpha);
