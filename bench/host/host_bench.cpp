// SPDX-License-Identifier: GPL-2.0-or-later
// Costs the host pays per frame and per settings read: a sprite drawn onto a
// 1080p canvas, a texture image update, and typed reads through element views
// that find their object again by key on every access.
#include "host/cairo_graphics.h"
#include "host/scene_document.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr unsigned kTextWidth = 600, kTextHeight = 80;

std::vector<uint8_t> TextLikePixels() {
    std::vector<uint8_t> pixels(kTextWidth * kTextHeight * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        const uint8_t alpha = static_cast<uint8_t>((i / 4) % 7 == 0 ? 255 : (i / 4) % 5 == 0 ? 128 : 0);
        pixels[i] = 40, pixels[i + 1] = 200, pixels[i + 2] = 250, pixels[i + 3] = alpha;
    }
    return pixels;
}

void DrawSpriteScaledOnto1080p(benchmark::State& state) {
    CairoGraphics graphics;
    graphics.SetCanvasSize(1920, 1080);
    const auto pixels = TextLikePixels();
    Texture* texture = graphics.CreateTexture(kTextWidth, kTextHeight, GS_BGRA, pixels.data(), false, false);
    const float scale = static_cast<float>(state.range(0)) / 100.0f;
    for (auto _ : state) graphics.DrawSprite(texture, 0xFFFFFFFF, 100, 100, 100 + kTextWidth * scale, 100 + kTextHeight * scale);
    graphics.DeleteTexture(texture);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DrawSpriteScaledOnto1080p)->Arg(100)->Arg(150)->Unit(benchmark::kMicrosecond);

void SetImage600x80(benchmark::State& state) {
    CairoGraphics graphics;
    const auto pixels = TextLikePixels();
    Texture* texture = graphics.CreateTexture(kTextWidth, kTextHeight, GS_BGRA, nullptr, false, false);
    for (auto _ : state) texture->SetImage(pixels.data(), GS_IMAGEFORMAT_BGRA, kTextWidth * 4);
    graphics.DeleteTexture(texture);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(pixels.size()));
}
BENCHMARK(SetImage600x80)->Unit(benchmark::kMicrosecond);

// The 16 style keys a source reads when its settings change, from a "data"
// element two levels down in a scene with many sources.
void ReadSourceStyle(benchmark::State& state) {
    SceneDocument doc;
    XElement* sources = doc.Root()->CreateElement(u"sources");
    for (int i = 0; i < 50; ++i) sources->CreateElement(String(u"s").operator<<(i).Array())->SetInt(u"x", i);
    XElement* data = sources->CreateElement(u"thanks")->CreateElement(u"data");
    const char16_t* keys[] = {u"baseSizeCX", u"baseSizeCY", u"outline", u"font", u"fontSize", u"color",
                              u"textOpacity", u"outlineSize", u"outlineColor", u"outlineOpacity",
                              u"backgroundOpacity", u"backgroundColor", u"bold", u"italic", u"underline", u"innerId"};
    for (const char16_t* key : keys) data->SetInt(key, 1);
    for (auto _ : state) {
        int sum = 0;
        for (const char16_t* key : keys) sum += data->GetInt(key, 0);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(ReadSourceStyle)->Unit(benchmark::kMicrosecond);

}  // namespace
