// SPDX-License-Identifier: GPL-2.0-or-later
// The headless host's renderer: textures and the render target are Cairo
// image surfaces, and sprites are drawn with bilinear filtering, blended
// source-over. Textures take straight-alpha BGRA and keep it premultiplied,
// as Cairo draws. GS stays null until the host installs a renderer (see
// ScopedGraphicsSystem below).
#pragma once

#include "host/graphics.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct GraphicsCounters {
    size_t texturesCreated = 0;
    size_t texturesDeleted = 0;
    size_t imagesUpdated = 0;
    size_t spritesDrawn = 0;
    size_t TexturesAlive() const { return texturesCreated - texturesDeleted; }
};

class CairoGraphics final : public GraphicsSystem {
public:
    CairoGraphics();
    ~CairoGraphics() override;
    CairoGraphics(const CairoGraphics&) = delete;
    CairoGraphics& operator=(const CairoGraphics&) = delete;

    Texture* CreateTexture(unsigned width, unsigned height, int colorFormat, const void* pixels, bool buildMipMaps,
                           bool isStatic) override;
    void DeleteTexture(Texture* texture) override;
    void DrawSprite(Texture* texture, uint32_t color, float x1, float y1, float x2, float y2) override;

    // The canvas sprites are drawn onto, replaced by a transparent one of this
    // size; false (the old canvas kept) when it cannot be made. A new
    // CairoGraphics starts with a transparent 1 x 1 canvas.
    bool SetCanvasSize(int width, int height);
    int CanvasWidth() const;
    int CanvasHeight() const;
    // Fills the whole canvas with 0xAARRGGBB (straight alpha), replacing what
    // was there.
    void ClearCanvas(uint32_t color);
    // The canvas as straight-alpha BGRA, top row first.
    std::vector<uint8_t> CanvasPixels() const;
    // Writes the canvas as a PNG; an empty string on success, else the error.
    std::string WriteCanvasPng(const std::string& path) const;

    const GraphicsCounters& Counters() const { return counters_; }
    void ResetCounters() { counters_ = {}; }

private:
    struct Canvas;
    std::unique_ptr<Canvas> canvas_;
    GraphicsCounters counters_;
};

// Straight-alpha BGRA <-> Cairo's premultiplied ARGB32 (native-endian, which
// is the same byte order on little-endian machines), exact and rounding.
void PremultiplyBgra(const uint8_t* straight, uint8_t* premultiplied, size_t pixelCount);
void UnpremultiplyToBgra(const uint8_t* premultiplied, uint8_t* straight, size_t pixelCount);

// Makes `graphics` the host's GS for its lifetime, then puts back the one before.
class ScopedGraphicsSystem {
public:
    explicit ScopedGraphicsSystem(GraphicsSystem* graphics) : previous_(GS) { GS = graphics; }
    ~ScopedGraphicsSystem() { GS = previous_; }
    ScopedGraphicsSystem(const ScopedGraphicsSystem&) = delete;
    ScopedGraphicsSystem& operator=(const ScopedGraphicsSystem&) = delete;

private:
    GraphicsSystem* previous_;
};
