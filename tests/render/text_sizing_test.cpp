// SPDX-License-Identifier: GPL-2.0-or-later
// Sizing, alpha and texture hand-over rules of the rasteriser, driven with
// injected measured boxes where the rule is about the box.
#include "render/text_rasteriser.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(TextureSizing, BoxLowerThanTheFontTakesTheFontSizeAndFillsTheBuffer) {
    const TextureLayout layout = ComputeTextureLayout(TextBox{0, 0, 100.3f, 40.2f}, Style(48));
    EXPECT_EQ(layout.width, 100);
    EXPECT_EQ(layout.height, 48);
    EXPECT_FLOAT_EQ(layout.box.height, 48.0f);
    EXPECT_FLOAT_EQ(layout.box.width, 100.3f);
    EXPECT_TRUE(layout.backgroundFillsBuffer);
}

TEST(TextureSizing, OddSidesGrowToEvenAndALargerBufferFillsOnlyTheBox) {
    const TextureLayout layout = ComputeTextureLayout(TextBox{0, 0, 101.5f, 60.2f}, Style(48));
    EXPECT_EQ(layout.width, 102);
    EXPECT_EQ(layout.height, 60);
    EXPECT_FALSE(layout.backgroundFillsBuffer);
}

TEST(TextureSizing, SidesAreClampedInto32To8192) {
    EXPECT_EQ(ComputeTextureLayout(TextBox{0, 0, 9000.7f, 50.0f}, Style(48)).width, 8192);
    EXPECT_EQ(ComputeTextureLayout(TextBox{0, 0, 5.0f, 5.0f}, Style(10)).width, 32);
    EXPECT_EQ(ComputeTextureLayout(TextBox{0, 0, 5.0f, 5.0f}, Style(10)).height, 32);
    EXPECT_EQ(ComputeTextureLayout(TextBox{0, 0, 50.0f, 50.0f}, Style(20000)).height, 8192);
    // A box side that is not a number must not reach an integer conversion.
    EXPECT_EQ(ComputeTextureLayout(TextBox{0, 0, std::nanf(""), 1e30f}, Style(48)).width, 32);
    EXPECT_EQ(ComputeTextureLayout(TextBox{0, 0, 50.0f, 1e30f}, Style(48)).height, 8192);
}

TEST(TextureSizing, EmptyTextKeepsTheStartingBoxAndGrowsNoOutline) {
    TextStyle style = Style(48);
    style.outline = true;
    const TextureLayout layout = ComputeTextureLayout(std::nullopt, style);
    EXPECT_EQ(layout.width, 32);
    EXPECT_EQ(layout.height, 48);
    EXPECT_FLOAT_EQ(layout.textX, 0.0f);
    EXPECT_EQ(ComputeTextureLayout(std::nullopt, Style(31)).height, 32);
    EXPECT_EQ(ComputeTextureLayout(std::nullopt, Style(47)).height, 48);
}

TEST(TextureSizing, OutlineGrowsTheBoxAndShiftsTheTextByHalfItsWidth) {
    TextStyle style = Style(48);
    style.outline = true;
    style.outlineSize = 2.0f;
    const TextureLayout layout = ComputeTextureLayout(TextBox{3, 4, 100.3f, 60.2f}, style);
    EXPECT_FLOAT_EQ(layout.box.width, 102.3f);
    EXPECT_FLOAT_EQ(layout.box.height, 62.2f);
    EXPECT_EQ(layout.width, 102);
    EXPECT_EQ(layout.height, 62);
    EXPECT_FLOAT_EQ(layout.textX, 4.0f);
    EXPECT_FLOAT_EQ(layout.textY, 5.0f);
}

TEST(BrushAlpha, IsTheOpacityInIntegerArithmeticClampedTo0Through100) {
    EXPECT_EQ(BrushAlpha(100), 255);
    EXPECT_EQ(BrushAlpha(50), 127);
    EXPECT_EQ(BrushAlpha(0), 0);
    // Unclamped, 101 % would keep only the low byte of 257 and vanish.
    EXPECT_EQ(BrushAlpha(101), 255);
    EXPECT_EQ(BrushAlpha(200), 255);
    EXPECT_EQ(BrushAlpha(-5), 0);
}

TEST(OutlineAlpha, FollowsTheSinglePrecisionRule) {
    EXPECT_EQ(OutlineAlpha(10, 100), 22);
    EXPECT_EQ(OutlineAlpha(100, 100), 255);
    EXPECT_EQ(OutlineAlpha(50, 100), 127);
    EXPECT_EQ(OutlineAlpha(50, 50), 63);
    EXPECT_EQ(OutlineAlpha(150, 100), 255);
    EXPECT_EQ(OutlineAlpha(100, -20), 0);
}

TEST(StraightAlpha, ConversionIsTheExactIntegerQuotientForEveryAlphaAndColour) {
    std::vector<uint8_t> pixels;
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned c = 0; c <= a; ++c)
            pixels.insert(pixels.end(), {uint8_t(c), uint8_t(c / 2), uint8_t(a - c), uint8_t(a)});
    const std::vector<uint8_t> premultiplied = pixels;
    UnpremultiplyPixels(pixels.data(), pixels.size() / 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        const unsigned a = premultiplied[i + 3];
        for (int k = 0; k < 3; ++k) {
            const unsigned c = premultiplied[i + k];
            const unsigned expected = a == 0 ? c : std::min(255u, (c * 255 + a / 2) / a);
            ASSERT_EQ(pixels[i + k], expected) << "alpha " << a << " colour " << c;
        }
        ASSERT_EQ(pixels[i + 3], a);
    }
}

TEST(InjectedBox, DecidesTheTextureSizeAndTheBackgroundFill) {
    ScopedGraphics scoped;
    TextStyle style = Style(48);
    style.backgroundOpacity = 100;
    style.backgroundColor = 0xFF102030;
    TextRasteriser rasteriser;
    SourceTexture texture;

    rasteriser.InjectMeasuredBox(TextBox{0, 0, 100.3f, 40.2f});
    rasteriser.UpdateTexture(String(u"Hi"), style, texture);
    EXPECT_EQ(texture.width, 100);
    EXPECT_EQ(texture.height, 48);
    Render whole = RenderedPixels(rasteriser);
    EXPECT_EQ(whole.Alpha(99, 47), 255) << "the whole buffer takes the background";

    rasteriser.InjectMeasuredBox(TextBox{0, 0, 101.5f, 60.2f});
    rasteriser.UpdateTexture(String(u"Hi"), style, texture);
    EXPECT_EQ(texture.width, 102);
    EXPECT_EQ(texture.height, 60);
    Render boxed = RenderedPixels(rasteriser);
    EXPECT_EQ(boxed.Alpha(100, 30), 255) << "inside the box";
    EXPECT_EQ(boxed.Alpha(101, 30), 0) << "right of the box";
    EXPECT_EQ(boxed.Alpha(50, 59), 255) << "last row, inside 60.2";
    EXPECT_EQ(boxed.Pixel(100, 30)[0], 0x30);
    EXPECT_EQ(boxed.Pixel(100, 30)[2], 0x10);

    rasteriser.InjectMeasuredBox(TextBox{0, 0, 9000.0f, 50.0f});
    rasteriser.UpdateTexture(String(u"Hi"), style, texture);
    EXPECT_EQ(texture.width, 8192);
}

TEST(TextureHandOver, SameSizeUpdatesTheTextureAndANewSizeReplacesIt) {
    ScopedGraphics scoped;
    RecordingGraphics& graphics = scoped.graphics;
    TextRasteriser rasteriser;
    SourceTexture texture;
    const TextStyle style = Style(48);

    rasteriser.UpdateTexture(String(u"Hello"), style, texture);
    rasteriser.UpdateTexture(String(u"Hello"), style, texture);
    EXPECT_EQ(graphics.created, 1);
    ASSERT_NE(texture.texture, nullptr);
    EXPECT_EQ(static_cast<RecordingGraphics::RecordedTexture*>(texture.texture)->imageUpdates, 1);

    rasteriser.UpdateTexture(String(u"Hello, a much longer line"), style, texture);
    EXPECT_EQ(graphics.deleted, 1);
    EXPECT_EQ(graphics.created, 2);
    EXPECT_NE(texture.texture, nullptr);
    EXPECT_EQ(texture.width, static_cast<int32_t>(texture.texture->Width()));
    EXPECT_EQ(texture.height, static_cast<int32_t>(texture.texture->Height()));
    GS->DeleteTexture(texture.texture);
}

TEST(TextureHandOver, AFailedCreationIsRetriedAtTheSameSize) {
    ScopedGraphics scoped;
    RecordingGraphics& graphics = scoped.graphics;
    graphics.failNextCreations = 1;
    TextRasteriser rasteriser;
    SourceTexture texture;
    rasteriser.UpdateTexture(String(u"Hello"), Style(48), texture);
    EXPECT_EQ(texture.texture, nullptr);
    EXPECT_GT(texture.width, 0);
    rasteriser.UpdateTexture(String(u"Hello"), Style(48), texture);
    ASSERT_NE(texture.texture, nullptr);
    EXPECT_EQ(graphics.created, 1);
    GS->DeleteTexture(texture.texture);
}

TEST(PixelReuse, UnchangedInputsHandOverTheSameBytesAndAStyleChangeRedraws) {
    ScopedGraphics scoped;
    TextRasteriser rasteriser;
    SourceTexture texture;
    TextStyle style = Style(48);
    rasteriser.UpdateTexture(String(u"Hello"), style, texture);
    const Render first = RenderedPixels(rasteriser);
    rasteriser.UpdateTexture(String(u"Hello"), style, texture);
    EXPECT_EQ(RenderedPixels(rasteriser).bgra, first.bgra);
    auto* recorded = static_cast<RecordingGraphics::RecordedTexture*>(texture.texture);
    EXPECT_EQ(recorded->pixels, first.bgra);
    // Reused pixels come with their generation: the texture, which holds
    // them since the hand-over after its creation, takes nothing more.
    for (int frame = 0; frame < 5; ++frame)
        rasteriser.UpdateTexture(String(u"Hello"), style, texture);
    EXPECT_EQ(recorded->imageUpdates, 1);

    style.color = 0xFF00FF00;   // same size, other pixels
    rasteriser.UpdateTexture(String(u"Hello"), style, texture);
    EXPECT_NE(recorded->pixels, first.bgra);
    EXPECT_EQ(recorded->imageUpdates, 2);
    const uint8_t* ink = nullptr;
    const Render green = RenderedPixels(rasteriser);
    for (size_t i = 0; i < green.bgra.size(); i += 4)
        if (green.bgra[i + 3] == 255)
            ink = &green.bgra[i];
    ASSERT_NE(ink, nullptr);
    EXPECT_EQ(ink[1], 0xFF);
    EXPECT_EQ(ink[2], 0x00);

    // Back to the first style: drawn again, a new generation, the first bytes.
    style.color = Style(48).color;
    rasteriser.UpdateTexture(String(u"Hello"), style, texture);
    EXPECT_EQ(recorded->imageUpdates, 3);
    EXPECT_EQ(recorded->pixels, first.bgra);
    GS->DeleteTexture(texture.texture);
}

}  // namespace
