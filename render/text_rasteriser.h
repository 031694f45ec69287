// SPDX-License-Identifier: GPL-2.0-or-later
// Draws a source's thanks text into straight-alpha BGRA pixels and hands them
// to the host as the source's texture: the text is measured, a buffer sized
// to it, the background and the (optionally outlined) text drawn, and the
// texture created, updated or re-created.
#pragma once

#include "host/OBSApi.h"
#include "render/glyph_masks.h"
#include "render/text_font.h"
#include "render/text_layout.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The drawing style a source loads from its settings. Colours are 0xAARRGGBB
// of which only the low 24 bits are used; the alphas come from the opacities.
struct TextStyle {
    String fontName;          // "font"
    int32_t fontSize = 48;    // character cell height in px
    uint32_t color = 0xFFFFFFFF;
    int32_t textOpacity = 100;
    bool outline = false;
    float outlineSize = 2.0f;
    uint32_t outlineColor = 0xFF000000;
    int32_t outlineOpacity = 100;
    int32_t backgroundOpacity = 0;
    uint32_t backgroundColor = 0xFF000000;
    bool bold = false, italic = false, underline = false;

    bool operator==(const TextStyle&) const = default;
};

// What a source owns: its texture and the size it was created with.
struct SourceTexture {
    Texture* texture = nullptr;
    int32_t width = 0, height = 0;
};

// Alpha byte of a brush: the opacity, clamped into 0..100, times 255 / 100 in
// integer arithmetic (100 gives 255, 50 gives 127).
uint8_t BrushAlpha(int32_t opacity);

// Alpha byte of the outline pen: each step in single precision, as the
// original did, so outline 10 % over text 100 % gives 22, not 25.
uint8_t OutlineAlpha(int32_t outlineOpacity, int32_t textOpacity);

// The buffer and placement worked out from a measured box.
struct TextureLayout {
    TextBox box;              // measured box, outline growth and height rule applied
    int32_t width = 32;       // W: even, 32..8192
    int32_t height = 32;      // H: even, 32..8192
    // The background fills the whole buffer when the buffer is no larger than
    // the box; otherwise the buffer is transparent and only the box is filled.
    bool backgroundFillsBuffer = false;
    float textX = 0.0f;       // top-left of the text: the box, shifted by half
    float textY = 0.0f;       // the outline width when outlined
};

// The sizing rules. `measured` is the laid-out text's box, or none for empty
// text (then the box stays (0, 0, 32, 32) and grows no outline). The outline
// width is added to the box's width and height; a box lower than the font
// size takes the font size as its height; W and H are the box plus 0.0001
// truncated, made even by adding one, and clamped into 32..8192.
TextureLayout ComputeTextureLayout(const std::optional<TextBox>& measured, const TextStyle& style);

// Strokes the text's outlines with round joins at the style's outline width
// and outline alpha, then fills them with the text brush. The coverage layers
// are the caller's, kept between calls.
void DrawOutlinedText(cairo_t* surface, const TextLayout& text, float originX, float originY, uint32_t textBrush,
                      const TextStyle& style, CoverageLayer& strokeLayer, CoverageLayer& fillLayer);

// Turns Cairo's premultiplied ARGB32 into straight alpha in place, exactly:
// each colour byte c of a pixel with alpha a becomes (c * 255 + a / 2) / a.
void UnpremultiplyPixels(uint8_t* pixels, size_t pixelCount);

// One per source; keeps its layout, font description and last pixels.
//
// Warnings go to AppWarning with these texts (kept as the host's log has
// always shown them), each ending in a status number:
//  - "...MeasureString failed: %u": the primary font cannot be loaded; the
//    number is the cairo_status_t of its scaled font.
//  - "...Graphics::Clear failed: %u" and "...Graphics::DrawString failed:
//    %u": the cairo_status_t of the drawing context after that step.
class TextRasteriser {
public:
    TextRasteriser();

    // Measures and draws `text` in `style` and hands the pixels to the host.
    // The pixels of the previous call are reused, byte for byte, when the
    // text (up to its first NUL) and every field of the style are unchanged
    // (and so is the injected box): that is the cache key, and nothing else
    // enters the drawing. Reused pixels are handed over with the generation
    // they were drawn with, so a texture that holds them takes nothing.
    void UpdateTexture(const String& text, const TextStyle& style, SourceTexture& target);

    // For tests: replaces the measured box of non-empty text.
    void InjectMeasuredBox(std::optional<TextBox> box) { injectedBox_ = box; }

    // The straight-alpha BGRA pixels of the last call, W x H, top row first.
    const uint8_t* Pixels() const;
    const TextureLayout& LastLayout() const { return layout_; }

private:
    bool Draw(const std::u16string& text, const TextStyle& style);
    void HandOver(SourceTexture& target);

    TextLayout textLayout_{LayoutMode::Drawing};
    CoverageLayer strokeLayer_;
    CoverageLayer fillLayer_;
    CairoSurfacePtr surface_;
    CairoPtr cr_;
    TextureLayout layout_;
    std::optional<TextBox> injectedBox_;

    // The cache key of the pixels in surface_, and their generation (new
    // with every drawing, unique in the process), which lets the texture
    // skip taking pixels it already holds.
    bool havePixels_ = false;
    uint64_t generation_ = 0;
    std::u16string lastText_;
    TextStyle lastStyle_;
    std::optional<TextBox> lastInjectedBox_;
};
