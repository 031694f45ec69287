// SPDX-License-Identifier: GPL-2.0-or-later
// The rasteriser with arbitrary text and style values: any UTF-16 units
// (lone surrogates, controls, NULs, combining marks), any colours, opacities,
// bold/italic/underline and outline, fonts named or not. Font and outline
// sizes are kept within what draws in a few milliseconds so that the fuzzer
// stays fast; the extreme sizes are tried by the hostile-input tests.
#include "host/cairo_graphics.h"
#include "host/host_control.h"
#include "render/text_rasteriser.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <limits>

namespace {

constexpr const char16_t* kFonts[] = {u"", u"Arial", u"Liberation Serif", u"WenQuanYi Micro Hei", u"No Such Face",
                                      u"Sans Bold Italic 300", u"Mono,Serif"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogToStderr(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CairoGraphics graphics;
    static ScopedGraphicsSystem scoped{&graphics};
    // One rasteriser across inputs, as a source keeps its own across frames,
    // so that the cache and the texture re-creation are exercised too.
    static TextRasteriser rasteriser;
    static SourceTexture texture;
    FuzzedDataProvider in(data, size);

    TextStyle style;
    style.fontName = in.ConsumeBool() ? String(in.PickValueInArray(kFonts))
                                      : String(in.ConsumeRandomLengthString(40).c_str());
    style.fontSize = in.ConsumeIntegralInRange<int32_t>(-100, 160);
    style.color = in.ConsumeIntegral<uint32_t>();
    style.textOpacity = in.ConsumeIntegral<int32_t>();
    style.outline = in.ConsumeBool();
    style.outlineSize = in.ConsumeBool() ? in.ConsumeFloatingPointInRange<float>(-40.0f, 40.0f)
                                         : in.PickValueInArray({std::numeric_limits<float>::quiet_NaN(),
                                                                std::numeric_limits<float>::infinity(),
                                                                -std::numeric_limits<float>::infinity(), -0.0f});
    style.outlineColor = in.ConsumeIntegral<uint32_t>();
    style.outlineOpacity = in.ConsumeIntegral<int32_t>();
    style.backgroundOpacity = in.ConsumeIntegral<int32_t>();
    style.backgroundColor = in.ConsumeIntegral<uint32_t>();
    style.bold = in.ConsumeBool();
    style.italic = in.ConsumeBool();
    style.underline = in.ConsumeBool();
    const size_t maxUnits = 120;

    std::u16string text;
    while (text.size() < maxUnits && in.remaining_bytes() >= 2) text.push_back(in.ConsumeIntegral<char16_t>());
    rasteriser.UpdateTexture(String(std::move(text)), style, texture);

    const TextureLayout& layout = rasteriser.LastLayout();
    if (layout.width < 32 || layout.height < 32 || layout.width > 8192 || layout.height > 8192 ||
        layout.width % 2 || layout.height % 2)
        std::abort();
    if (!texture.texture || texture.width != layout.width || texture.height != layout.height) std::abort();
    (void)rasteriser.Pixels()[static_cast<size_t>(layout.width) * layout.height * 4 - 1];
    return 0;
}
