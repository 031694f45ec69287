// SPDX-License-Identifier: GPL-2.0-or-later
// UpdateTexture end to end (measure, draw, convert, hand over) for the texts a
// source shows, with the text changing every frame and unchanged, beside the
// physical floor of touching a buffer of the same size: one memset and one
// memcpy. The first benchmark is the first render of the process.
#include "render/text_rasteriser.h"
#include "tests/render/render_test_support.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::u16string kThanks = u"感谢Alice赠送的3个火箭 x3";
const std::u16string kHint = u"设置后将开始显示答谢文字";

// Emoji in the names: colour glyphs among the letters.
const std::u16string kEmojiThanks = u"感谢🌹小明😀赠送的🚀 x3";

std::u16string Repeated(const std::u16string& piece, size_t times) {
    std::u16string text;
    for (size_t i = 0; i < times; ++i) text += piece;
    return text;
}

// The hostile names of the rasteriser's tests, each ending in a character the
// changing case replaces.
std::u16string CombiningStorm() { return u"Z" + Repeated(u"\u0301\u0316", 300) + u"小明0"; }
std::u16string TwoHundredEmoji() { return Repeated(u"😀", 200) + u"0"; }
std::u16string LongMixed() { return Repeated(u"感谢Bobمرحبا🌹", 150) + u"0"; }

std::u16string LongText() {
    std::u16string text;
    while (text.size() < 200)
        text += u"感谢Alice赠送的3个火箭 x3 ";
    return text.substr(0, 200);
}

TextStyle Style(int32_t fontSize, float outline) {
    TextStyle style;
    style.fontName = u"Arial";
    style.fontSize = fontSize;
    style.outline = outline > 0.0f;
    style.outlineSize = outline;
    return style;
}

// The text of frame `frame`: the last character cycles through digits, so
// the text differs from the frame before while its size stays put.
String FrameText(const std::u16string& base, int64_t frame) {
    std::u16string text = base;
    text.back() = static_cast<char16_t>(u'0' + frame % 10);
    return String(text);
}

void UpdateTextureBench(benchmark::State& state, const std::u16string& base, int32_t fontSize, float outline,
                        bool changing) {
    ScopedGraphics scoped;
    TextRasteriser rasteriser;
    SourceTexture texture;
    const TextStyle style = Style(fontSize, outline);
    for (int warm = 0; warm < 20; ++warm)
        rasteriser.UpdateTexture(FrameText(base, warm), style, texture);
    const String unchanged(base);
    int64_t frame = 0;
    for (auto _ : state) {
        rasteriser.UpdateTexture(changing ? FrameText(base, frame++) : unchanged, style, texture);
        benchmark::ClobberMemory();
    }
    state.counters["W"] = texture.width;
    state.counters["H"] = texture.height;
    GS->DeleteTexture(texture.texture);
}

void MemsetMemcpyFloor(benchmark::State& state, const std::u16string& text, int32_t fontSize, float outline) {
    ScopedGraphics scoped;
    TextRasteriser rasteriser;
    SourceTexture texture;
    rasteriser.UpdateTexture(String(text), Style(fontSize, outline), texture);
    const size_t bytes = static_cast<size_t>(texture.width) * texture.height * 4;
    std::vector<uint8_t> source(bytes, 1), target(bytes);
    for (auto _ : state) {
        std::memset(source.data(), 0, bytes);
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.counters["W"] = texture.width;
    state.counters["H"] = texture.height;
    GS->DeleteTexture(texture.texture);
}

// Meaningful only as the first benchmark of the process: font map,
// fontconfig, the first layout and the first glyphs are all cold.
void BM_FirstRenderAfterStart(benchmark::State& state) {
    for (auto _ : state) {
        ScopedGraphics scoped;
        TextRasteriser rasteriser;
        SourceTexture texture;
        rasteriser.UpdateTexture(String(kHint), Style(48, 0.0f), texture);
        GS->DeleteTexture(texture.texture);
    }
}
BENCHMARK(BM_FirstRenderAfterStart)->Iterations(1)->Unit(benchmark::kMillisecond);

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// Resident memory before and after 10,000 frames of changing text (after
// 1,000 frames of warm-up), with and without outline.
void BM_ResidentMemoryOver10000Frames(benchmark::State& state) {
    const TextStyle style = Style(56, static_cast<float>(state.range(0)));
    for (auto _ : state) {
        ScopedGraphics scoped;
        TextRasteriser rasteriser;
        SourceTexture texture;
        for (int frame = 0; frame < 1000; ++frame)
            rasteriser.UpdateTexture(FrameText(kThanks + std::u16string(frame % 7, u' ') + u"0", frame), style, texture);
        const long before = ResidentKiB();
        for (int frame = 0; frame < 10000; ++frame)
            rasteriser.UpdateTexture(FrameText(kThanks + std::u16string(frame % 7, u' ') + u"0", frame), style, texture);
        state.counters["rss_before_KiB"] = static_cast<double>(before);
        state.counters["rss_growth_KiB"] = static_cast<double>(ResidentKiB() - before);
        GS->DeleteTexture(texture.texture);
    }
}
BENCHMARK(BM_ResidentMemoryOver10000Frames)->Arg(0)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_CAPTURE(UpdateTextureBench, thanks56_plain_changing, kThanks, 56, 0.0f, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(UpdateTextureBench, thanks56_plain_unchanged, kThanks, 56, 0.0f, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(UpdateTextureBench, thanks56_outline2_changing, kThanks, 56, 2.0f, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(UpdateTextureBench, thanks56_outline2_unchanged, kThanks, 56, 2.0f, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(MemsetMemcpyFloor, thanks56_floor, kThanks, 56, 0.0f)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(MemsetMemcpyFloor, thanks56_outline2_floor, kThanks, 56, 2.0f)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(UpdateTextureBench, emoji56_plain_changing, kEmojiThanks, 56, 0.0f, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(UpdateTextureBench, emoji56_plain_unchanged, kEmojiThanks, 56, 0.0f, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(UpdateTextureBench, emoji56_outline2_changing, kEmojiThanks, 56, 2.0f, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(UpdateTextureBench, emoji56_outline2_unchanged, kEmojiThanks, 56, 2.0f, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(MemsetMemcpyFloor, emoji56_floor, kEmojiThanks, 56, 0.0f)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(MemsetMemcpyFloor, emoji56_outline2_floor, kEmojiThanks, 56, 2.0f)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(UpdateTextureBench, hostile_combining_storm_changing, CombiningStorm(), 56, 2.0f, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(UpdateTextureBench, hostile_200_emoji_changing, TwoHundredEmoji(), 56, 2.0f, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(UpdateTextureBench, hostile_long_mixed_changing, LongMixed(), 56, 2.0f, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(UpdateTextureBench, hint48_changing, kHint, 48, 0.0f, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(UpdateTextureBench, hint48_unchanged, kHint, 48, 0.0f, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(MemsetMemcpyFloor, hint48_floor, kHint, 48, 0.0f)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(UpdateTextureBench, long200_56_changing, LongText(), 56, 0.0f, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(UpdateTextureBench, long200_56_unchanged, LongText(), 56, 0.0f, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(MemsetMemcpyFloor, long200_56_floor, LongText(), 56, 0.0f)->Unit(benchmark::kMicrosecond);
