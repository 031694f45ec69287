// SPDX-License-Identifier: GPL-2.0-or-later
// The checks every host's graphics system makes on what a plug-in asks of its
// textures, with the warnings that refuse a request.
#pragma once

// The largest side of a texture any host accepts.
inline constexpr unsigned kMaxTextureSide = 16384;

// True for a BGRA texture of a possible size; otherwise a warning and false.
bool AcceptTextureCreation(unsigned width, unsigned height, int colorFormat);

// True for BGRA pixels whose rows hold at least `width` pixels; otherwise a
// warning and false.
bool AcceptImageUpdate(const void* pixels, int imageFormat, unsigned pitch, unsigned width);
