// SPDX-License-Identifier: GPL-2.0-or-later
// GS and Texture over libobs's graphics: what the plug-in draws becomes a
// BGRA gs_texture_t drawn with OBS's default effect.
//
// The plug-in fills its textures on its own thread (obs/core_thread.h), where
// OBS's graphics context must not be taken (the render callback holds it and
// waits for the plug-in), so a Texture keeps its pixels in memory and the
// gs_texture_t is created or updated on the graphics thread when the sprite
// is drawn, and only when the pixels were replaced since (pixels handed over
// again with the generation the texture holds replace nothing). A deleted
// texture's gs_texture_t is kept until the graphics thread releases it
// (ReleaseRetiredTextures in obs/obs_gs.h).
#pragma once

#include "host/graphics.h"

class ObsGraphics final : public GraphicsSystem {
public:
    Texture* CreateTexture(unsigned width, unsigned height, int colorFormat, const void* pixels, bool buildMipMaps,
                           bool isStatic) override;
    void DeleteTexture(Texture* texture) override;
    // Inside a render callback (the graphics context held): uploads pending
    // pixels, then draws the texture over the rectangle, straight alpha.
    // OBS's default effect has no colour input: the tint is not applied (the
    // plug-in draws with opaque white only).
    void DrawSprite(Texture* texture, uint32_t color, float x1, float y1, float x2, float y2) override;
    // OBS draws on its graphics thread, the plug-in runs on its core thread:
    // one lock for every source, held by the render callback and by the
    // core's hand-overs.
    std::unique_lock<std::mutex> HoldDrawing() override;
};
