// SPDX-License-Identifier: GPL-2.0-or-later
// The few libobs graphics calls the host services need, behind plain
// functions: libobs's graphics header and the host's (host/graphics.h) both
// name a GS_BGRA, so no file includes both.
#pragma once

#include <cstdint>

struct gs_texture;

// All but RetireTexture need the graphics context held.
gs_texture* CreateBgraTexture(unsigned width, unsigned height, const uint8_t* pixels);
void SetBgraImage(gs_texture* texture, const uint8_t* pixels, unsigned pitch);
// Draws the texture over (x1, y1)-(x2, y2) with OBS's default effect,
// straight alpha over what is below; a reversed side flips the image.
void DrawTextureSprite(gs_texture* texture, float x1, float y1, float x2, float y2);

// Keeps a texture for ReleaseRetiredTextures; any thread.
void RetireTexture(gs_texture* texture);
// Destroys the retired textures; the caller holds the graphics context.
void ReleaseRetiredTextures();
