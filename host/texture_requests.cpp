// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/texture_requests.h"

#include "host/graphics.h"
#include "host/host_services.h"

bool AcceptTextureCreation(unsigned width, unsigned height, int colorFormat) {
    if (colorFormat != GS_BGRA) {
        AppWarning(u"GS::CreateTexture: colour format %d is not supported", colorFormat);
        return false;
    }
    if (width == 0 || height == 0 || width > kMaxTextureSide || height > kMaxTextureSide) {
        AppWarning(u"GS::CreateTexture: a texture of %u x %u is not possible", width, height);
        return false;
    }
    return true;
}

bool AcceptImageUpdate(const void* pixels, int imageFormat, unsigned pitch, unsigned width) {
    if (imageFormat != GS_IMAGEFORMAT_BGRA) {
        AppWarning(u"Texture::SetImage: image format %d is not supported", imageFormat);
        return false;
    }
    if (!pixels || pitch < width * 4) {
        AppWarning(u"Texture::SetImage: no pixels or a pitch of %u bytes is too small", pitch);
        return false;
    }
    return true;
}
