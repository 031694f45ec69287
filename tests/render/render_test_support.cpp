// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/render/render_test_support.h"

#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

bool RecordingGraphics::RecordedTexture::ReplaceImage(const void* data, int format, unsigned pitch) {
    if (format != GS_IMAGEFORMAT_BGRA || pitch != width * 4)
        return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    pixels.assign(bytes, bytes + static_cast<size_t>(pitch) * height);
    ++imageUpdates;
    return true;
}

Texture* RecordingGraphics::CreateTexture(unsigned width, unsigned height, int colorFormat, const void* pixels, bool,
                                          bool) {
    if (failNextCreations > 0) {
        --failNextCreations;
        return nullptr;
    }
    if (colorFormat != GS_BGRA)
        return nullptr;
    ++created;
    auto texture = std::make_unique<RecordedTexture>();
    texture->width = width;
    texture->height = height;
    const auto* bytes = static_cast<const uint8_t*>(pixels);
    texture->pixels.assign(bytes, bytes + static_cast<size_t>(width) * height * 4);
    live.push_back(std::move(texture));
    return live.back().get();
}

void RecordingGraphics::DeleteTexture(Texture* texture) {
    ++deleted;
    std::erase_if(live, [&](const auto& held) { return held.get() == texture; });
}

uint64_t Render::Ink() const {
    uint64_t sum = 0;
    for (size_t i = 3; i < bgra.size(); i += 4)
        sum += bgra[i];
    return sum;
}

uint8_t Render::MaxAlpha() const {
    uint8_t most = 0;
    for (size_t i = 3; i < bgra.size(); i += 4)
        most = std::max(most, bgra[i]);
    return most;
}

Render RenderedPixels(const TextRasteriser& rasteriser) {
    Render render;
    render.width = rasteriser.LastLayout().width;
    render.height = rasteriser.LastLayout().height;
    const uint8_t* pixels = rasteriser.Pixels();
    render.bgra.assign(pixels, pixels + static_cast<size_t>(render.width) * render.height * 4);
    return render;
}

Render RenderText(const std::u16string& text, const TextStyle& style) {
    ScopedGraphics scoped;
    TextRasteriser rasteriser;
    SourceTexture texture;
    rasteriser.UpdateTexture(String(text), style, texture);
    Render render = RenderedPixels(rasteriser);
    auto* recorded = static_cast<RecordingGraphics::RecordedTexture*>(texture.texture);
    if (recorded)
        render.bgra = recorded->pixels;   // what the host was handed
    if (texture.texture)
        GS->DeleteTexture(texture.texture);
    return render;
}

void WritePng(const Render& render, const std::string& name) {
    const char* folder = std::getenv("MORVIK_TEST_OUTPUT");
    const std::filesystem::path directory = folder ? folder : "test-output";
    std::filesystem::create_directories(directory);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, render.width, render.height);
    uint8_t* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < render.height; ++y) {
        for (int x = 0; x < render.width; ++x) {
            const uint8_t* pixel = render.Pixel(x, y);
            uint8_t* out = data + y * stride + x * 4;
            // Straight alpha over a checker of two greys, so transparency shows.
            const unsigned backdrop = ((x / 8 + y / 8) % 2) ? 0x70 : 0x90;
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<uint8_t>((pixel[c] * pixel[3] + backdrop * (255 - pixel[3]) + 127) / 255);
            out[3] = 0xFF;
        }
    }
    cairo_surface_mark_dirty(surface);
    cairo_surface_write_to_png(surface, (directory / (name + ".png")).c_str());
    cairo_surface_destroy(surface);
}

// Fontconfig 2.14 loses a block while parsing its configuration files; it is
// not ours to free and would fail every leak-checked run that loads fonts.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
