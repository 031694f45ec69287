// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/cairo_graphics.h"

#include "host/host_services.h"
#include "host/texture_requests.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

GraphicsSystem* GS = nullptr;

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

class CairoTexture final : public Texture {
public:
    CairoTexture(SurfacePtr surface, GraphicsCounters& counters) : surface_(std::move(surface)), counters_(counters) {}

    unsigned Width() const override { return static_cast<unsigned>(cairo_image_surface_get_width(surface_.get())); }
    unsigned Height() const override { return static_cast<unsigned>(cairo_image_surface_get_height(surface_.get())); }

    bool ReplaceImage(const void* pixels, int imageFormat, unsigned pitch) override {
        if (!AcceptImageUpdate(pixels, imageFormat, pitch, Width())) return false;
        Fill(static_cast<const uint8_t*>(pixels), pitch);
        ++counters_.imagesUpdated;
        return true;
    }

    void Fill(const uint8_t* pixels, unsigned pitch) {
        cairo_surface_flush(surface_.get());
        uint8_t* data = cairo_image_surface_get_data(surface_.get());
        const int stride = cairo_image_surface_get_stride(surface_.get());
        for (unsigned row = 0; row < Height(); ++row)
            PremultiplyBgra(pixels + static_cast<size_t>(row) * pitch, data + static_cast<size_t>(row) * stride, Width());
        cairo_surface_mark_dirty(surface_.get());
    }

    cairo_surface_t* Surface() const { return surface_.get(); }

private:
    SurfacePtr surface_;
    GraphicsCounters& counters_;
};

}  // namespace

struct CairoGraphics::Canvas {
    SurfacePtr surface;
};

void PremultiplyBgra(const uint8_t* in, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i, in += 4, out += 4) {
        const unsigned a = in[3];
        // Text textures are mostly fully covered or empty pixels: those need
        // no arithmetic.
        if (a == 255) {
            std::memcpy(out, in, 4);
        } else if (a == 0) {
            std::memset(out, 0, 4);
        } else {
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((in[c] * a + 127) / 255);
            out[3] = static_cast<uint8_t>(a);
        }
    }
}

void UnpremultiplyToBgra(const uint8_t* in, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i, in += 4, out += 4) {
        const unsigned a = in[3];
        for (int c = 0; c < 3; ++c) out[c] = a ? static_cast<uint8_t>(std::min(255u, (in[c] * 255 + a / 2) / a)) : 0;
        out[3] = static_cast<uint8_t>(a);
    }
}

CairoGraphics::CairoGraphics() : canvas_(std::make_unique<Canvas>()) { SetCanvasSize(1, 1); }

CairoGraphics::~CairoGraphics() = default;

Texture* CairoGraphics::CreateTexture(unsigned width, unsigned height, int colorFormat, const void* pixels,
                                      bool /*buildMipMaps*/, bool /*isStatic*/) {
    if (!AcceptTextureCreation(width, height, colorFormat)) return nullptr;
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width), static_cast<int>(height)));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        AppWarning(u"GS::CreateTexture: no memory for %u x %u", width, height);
        return nullptr;
    }
    auto texture = std::make_unique<CairoTexture>(std::move(surface), counters_);
    if (pixels) texture->Fill(static_cast<const uint8_t*>(pixels), width * 4);
    ++counters_.texturesCreated;
    return texture.release();
}

void CairoGraphics::DeleteTexture(Texture* texture) {
    if (!texture) return;
    ++counters_.texturesDeleted;
    std::unique_ptr<Texture> owned(texture);
}

namespace {

// The texture with each premultiplied colour channel multiplied by the tint
// (alpha kept), or null when no surface can be made. Done on the CPU because
// no Cairo operator multiplies a source by a colour channel by channel.
SurfacePtr Tinted(cairo_surface_t* texture, uint32_t rgb) {
    const int w = cairo_image_surface_get_width(texture), h = cairo_image_surface_get_height(texture);
    SurfacePtr out(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
    if (cairo_surface_status(out.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_surface_flush(texture);
    const unsigned tint[3] = {rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF};  // B, G, R
    const uint8_t* in = cairo_image_surface_get_data(texture);
    uint8_t* data = cairo_image_surface_get_data(out.get());
    const int inStride = cairo_image_surface_get_stride(texture), outStride = cairo_image_surface_get_stride(out.get());
    for (int row = 0; row < h; ++row) {
        const uint8_t* src = in + static_cast<size_t>(row) * inStride;
        uint8_t* dst = data + static_cast<size_t>(row) * outStride;
        for (int x = 0; x < w; ++x, src += 4, dst += 4) {
            for (int c = 0; c < 3; ++c) dst[c] = static_cast<uint8_t>((src[c] * tint[c] + 127) / 255);
            dst[3] = src[3];
        }
    }
    cairo_surface_mark_dirty(out.get());
    return out;
}

}  // namespace

void CairoGraphics::DrawSprite(Texture* texture, uint32_t color, float x1, float y1, float x2, float y2) {
    if (!texture || !canvas_->surface) return;
    auto* cairoTexture = static_cast<CairoTexture*>(texture);
    const double w = texture->Width(), h = texture->Height();
    const double dx = static_cast<double>(x2) - x1, dy = static_cast<double>(y2) - y1;
    ++counters_.spritesDrawn;
    if (!(std::abs(dx) > 0) || !(std::abs(dy) > 0) || !std::isfinite(dx) || !std::isfinite(dy)) return;

    SurfacePtr tinted;
    cairo_surface_t* source = cairoTexture->Surface();
    if ((color & 0xFFFFFF) != 0xFFFFFF) {
        tinted = Tinted(source, color & 0xFFFFFF);
        if (!tinted) return;
        source = tinted.get();
    }

    ContextPtr cr(cairo_create(canvas_->surface.get()));
    cairo_translate(cr.get(), x1, y1);
    cairo_scale(cr.get(), dx / w, dy / h);
    cairo_set_source_surface(cr.get(), source, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr.get()), CAIRO_FILTER_BILINEAR);
    // Edge pixels are repeated outward so a stretched sprite keeps hard edges
    // at its rectangle instead of fading into transparency.
    cairo_pattern_set_extend(cairo_get_source(cr.get()), CAIRO_EXTEND_PAD);
    cairo_rectangle(cr.get(), 0, 0, w, h);
    cairo_clip(cr.get());
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_OVER);
    cairo_paint_with_alpha(cr.get(), (color >> 24) / 255.0);
}

bool CairoGraphics::SetCanvasSize(int width, int height) {
    if (width <= 0 || height <= 0 || width > static_cast<int>(kMaxTextureSide) || height > static_cast<int>(kMaxTextureSide))
        return false;
    SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return false;
    canvas_->surface = std::move(surface);
    return true;
}

int CairoGraphics::CanvasWidth() const { return cairo_image_surface_get_width(canvas_->surface.get()); }
int CairoGraphics::CanvasHeight() const { return cairo_image_surface_get_height(canvas_->surface.get()); }

void CairoGraphics::ClearCanvas(uint32_t color) {
    ContextPtr cr(cairo_create(canvas_->surface.get()));
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr.get(), ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                          (color & 0xFF) / 255.0, (color >> 24) / 255.0);
    cairo_paint(cr.get());
}

std::vector<uint8_t> CairoGraphics::CanvasPixels() const {
    cairo_surface_t* s = canvas_->surface.get();
    cairo_surface_flush(s);
    const int w = CanvasWidth(), h = CanvasHeight(), stride = cairo_image_surface_get_stride(s);
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
    const uint8_t* data = cairo_image_surface_get_data(s);
    for (int row = 0; row < h; ++row)
        UnpremultiplyToBgra(data + static_cast<size_t>(row) * stride, out.data() + static_cast<size_t>(row) * w * 4, w);
    return out;
}

std::string CairoGraphics::WriteCanvasPng(const std::string& path) const {
    const cairo_status_t status = cairo_surface_write_to_png(canvas_->surface.get(), path.c_str());
    return status == CAIRO_STATUS_SUCCESS ? std::string() : path + ": " + cairo_status_to_string(status);
}
