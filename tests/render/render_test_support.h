// SPDX-License-Identifier: GPL-2.0-or-later
// Helpers for the rasteriser tests: a graphics system that keeps what it is
// handed, pixel statistics, and PNG output for looking at renders.
#pragma once

#include "host/OBSApi.h"
#include "render/text_rasteriser.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Textures that hold a copy of their pixels, and counts of what happened.
class RecordingGraphics : public GraphicsSystem {
public:
    struct RecordedTexture : Texture {
        unsigned width = 0, height = 0;
        std::vector<uint8_t> pixels;
        unsigned Width() const override { return width; }
        unsigned Height() const override { return height; }
        bool ReplaceImage(const void* data, int format, unsigned pitch) override;
        int imageUpdates = 0;
    };

    Texture* CreateTexture(unsigned width, unsigned height, int colorFormat, const void* pixels, bool, bool) override;
    void DeleteTexture(Texture* texture) override;
    void DrawSprite(Texture*, uint32_t, float, float, float, float) override {}

    int created = 0;
    int deleted = 0;
    int failNextCreations = 0;   // that many creations return none
    std::vector<std::unique_ptr<RecordedTexture>> live;
};

// Installs a RecordingGraphics as GS for the test's life.
class ScopedGraphics {
public:
    ScopedGraphics() : previous_(GS) { GS = &graphics; }
    ~ScopedGraphics() { GS = previous_; }
    RecordingGraphics graphics;

private:
    GraphicsSystem* previous_;
};

struct Render {
    int width = 0, height = 0;
    std::vector<uint8_t> bgra;   // straight alpha, top row first
    uint8_t Alpha(int x, int y) const { return bgra[(static_cast<size_t>(y) * width + x) * 4 + 3]; }
    const uint8_t* Pixel(int x, int y) const { return &bgra[(static_cast<size_t>(y) * width + x) * 4]; }
    uint64_t Ink() const;          // sum of alpha
    uint8_t MaxAlpha() const;
};

// Runs one UpdateTexture on a fresh rasteriser and returns what the host got.
Render RenderText(const std::u16string& text, const TextStyle& style);
Render RenderedPixels(const TextRasteriser& rasteriser);

// Writes the render over a mid-grey backdrop to the test-output folder.
void WritePng(const Render& render, const std::string& name);

// The drawing defaults with the face "Arial" at the given cell height.
inline TextStyle Style(int32_t fontSize = 48) {
    TextStyle style;
    style.fontName = u"Arial";
    style.fontSize = fontSize;
    return style;
}
