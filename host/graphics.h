// SPDX-License-Identifier: GPL-2.0-or-later
// The host's graphics system: textures that plug-ins fill with pixels and a
// sprite draw onto the host's current render target. Plug-ins reach it only
// through the global GS, so each host can back it with its own renderer.
#pragma once

#include <cstdint>
#include <mutex>

// The host's format codes for 32-bit pixels in the byte order blue, green,
// red, alpha: one for texture creation, one for image updates.
enum GSColorFormat : int { GS_BGRA = 6 };
enum GSImageFormat : int { GS_IMAGEFORMAT_BGRA = 9 };

class Texture {
public:
    virtual ~Texture() = default;
    virtual unsigned Width() const = 0;
    virtual unsigned Height() const = 0;
    // Replaces the pixels (straight-alpha BGRA rows of `pitch` bytes). Any
    // other format is refused with a warning and changes nothing.
    void SetImage(const void* pixels, int imageFormat, unsigned pitch) { SetImage(pixels, imageFormat, pitch, 0); }
    // The same for pixels that carry a generation: a number, never 0, that
    // their producer changes whenever the bytes change. The texture keeps
    // the generation of its last image and takes nothing when handed that
    // generation again, so a plug-in that hands over its pixels every frame
    // costs the host no copy and no upload while they stay the same.
    // Generation 0 means "not known": the pixels are always taken.
    void SetImage(const void* pixels, int imageFormat, unsigned pitch, uint64_t generation) {
        if (generation != 0 && generation == generation_) return;
        generation_ = ReplaceImage(pixels, imageFormat, pitch) ? generation : 0;
    }

protected:
    // Takes the pixels; false, with nothing changed, when they are refused.
    virtual bool ReplaceImage(const void* pixels, int imageFormat, unsigned pitch) = 0;

private:
    uint64_t generation_ = 0;  // of the pixels held; 0 when not known
};

class GraphicsSystem {
public:
    virtual ~GraphicsSystem() = default;
    // A texture of width x height with the given straight-alpha BGRA pixels
    // (rows of width * 4 bytes; null gives transparent), or null when the
    // format is not supported or the size is not possible.
    virtual Texture* CreateTexture(unsigned width, unsigned height, int colorFormat,
                                   const void* pixels, bool buildMipMaps, bool isStatic) = 0;
    virtual void DeleteTexture(Texture* texture) = 0;
    // Draws the texture stretched over (x1, y1)-(x2, y2) with bilinear
    // filtering, blended source-over, its colour multiplied by `color`
    // (0xAARRGGBB; 0xFFFFFFFF leaves it unchanged).
    virtual void DrawSprite(Texture* texture, uint32_t color, float x1, float y1, float x2, float y2) = 0;

    // A host that draws on another thread than the one the plug-in runs on
    // holds this while it draws, and the plug-in holds it while it hands
    // finished pixels to a texture, replaces a texture or changes the size it
    // draws at, so that neither side sees half of the other's change. Only
    // those hand-overs are done under it, never measuring or rasterising. A
    // host that draws on the plug-in's own thread needs no lock: the default
    // holds nothing.
    virtual std::unique_lock<std::mutex> HoldDrawing() { return {}; }
};

extern GraphicsSystem* GS;

// GS's drawing lock, or none while no graphics system is installed.
inline std::unique_lock<std::mutex> HoldHostDrawing() { return GS ? GS->HoldDrawing() : std::unique_lock<std::mutex>(); }
