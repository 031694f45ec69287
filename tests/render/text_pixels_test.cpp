// SPDX-License-Identifier: GPL-2.0-or-later
// Real renders through Pango, Cairo and FreeType with the fonts the set-up
// script installs (Liberation and WenQuanYi Micro Hei).
#include "render/text_font.h"
#include "render/text_layout.h"
#include "render/text_rasteriser.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(FaceLookup, ArialIsBoundToLiberationSansWithTheCellHeightAsFontSize) {
    const std::optional<TextFont> font = FindTextFace(String(u"Arial"), 48, false, false);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->family, "Liberation Sans");
    EXPECT_NEAR(font->emSize, 48.0 * 2048 / 2288, 1e-9);   // 42.97 px
    EXPECT_NEAR(font->LineSpacing(), 48.0 * 2355 / 2288, 1e-9);
    EXPECT_TRUE(FindTextFace(String(u"liberation serif"), 48, true, false));
    EXPECT_TRUE(FindTextFace(String(u"文泉驿微米黑"), 48, false, false)) << "a family's name in another language";
}

TEST(FaceLookup, UnknownEmptyAndOverlongNamesFallBackToArial) {
    EXPECT_FALSE(FindTextFace(String(u"No Such Face Anywhere"), 48, false, false));
    const std::optional<TextFont> unknown = CreateTextFont(String(u"No Such Face Anywhere"), 48, false, false);
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->family, "Liberation Sans");
    ASSERT_TRUE(CreateTextFont(String(u""), 48, false, false));
    EXPECT_EQ(CreateTextFont(String(u""), 48, false, false)->family, "Liberation Sans");
    // 40 characters: only the first 31 name the face, which does not exist.
    const String overlong(u"Liberation Serif Condensed Extra Wide XL");
    ASSERT_EQ(overlong.Length(), 40u);
    EXPECT_EQ(CreateTextFont(overlong, 48, false, false)->family, "Liberation Sans");
    // The cut is at 31 units: a real name within them is still found.
    EXPECT_TRUE(FindTextFace(String(u"Liberation Mono"), 48, false, false));
}

TEST(Layout, LinesAreOnePrimaryLineSpacingEvenWithChineseFallbackGlyphs) {
    const TextFont font = *CreateTextFont(String(u"Arial"), 48, false, false);
    TextLayout layout(LayoutMode::Drawing);
    const TextBox latin = layout.Lay("Ab", font, false);
    const TextBox chinese = layout.Lay("感谢Ab", font, false);
    EXPECT_FLOAT_EQ(latin.height, static_cast<float>(font.LineSpacing()));
    EXPECT_FLOAT_EQ(chinese.height, latin.height);
    EXPECT_FLOAT_EQ(layout.Lay("Ab\nsecond", font, false).height, static_cast<float>(2 * font.LineSpacing()));
    // Trailing spaces are measured; no wrapping however long the line.
    EXPECT_GT(layout.Lay("Ab   ", font, false).width, latin.width + 20.0f);
    EXPECT_FLOAT_EQ(layout.Lay(std::string(300, 'W'), font, false).height, latin.height);
}

TEST(Pixels, EmptyTextLeavesEveryPixelTransparent) {
    TextStyle style = Style(48);
    style.backgroundOpacity = 100;
    style.outline = true;
    const Render render = RenderText(u"", style);
    EXPECT_EQ(render.width, 32);
    EXPECT_EQ(render.height, 48);
    EXPECT_EQ(render.MaxAlpha(), 0);
}

TEST(Pixels, TextAlphaComesFromTheOpacityAndColoursAreStraight) {
    TextStyle style = Style(48);
    style.color = 0xFF3366CC;
    style.textOpacity = 50;
    const Render render = RenderText(u"HIH", style);
    EXPECT_EQ(render.MaxAlpha(), 127);
    size_t checked = 0;
    for (size_t i = 0; i < render.bgra.size(); i += 4) {
        if (render.bgra[i + 3] < 32)
            continue;
        // Premultiplied pixels would be darker in proportion to their alpha;
        // straight ones keep the colour up to the rounding of the blend.
        const double tolerance = 1.0 + 256.0 / render.bgra[i + 3];
        EXPECT_NEAR(render.bgra[i + 0], 0xCC, tolerance);
        EXPECT_NEAR(render.bgra[i + 1], 0x66, tolerance);
        EXPECT_NEAR(render.bgra[i + 2], 0x33, tolerance);
        ++checked;
    }
    EXPECT_GT(checked, 500u);
    WritePng(render, "render_half_opacity");
}

TEST(Pixels, OutlineIsDrawnWithTheSinglePrecisionAlphaUnderTheFill) {
    TextStyle style = Style(48);
    style.outline = true;
    style.outlineSize = 8.0f;
    style.outlineColor = 0xFF0000FF;
    style.outlineOpacity = 10;
    style.color = 0xFFFFFF00;
    const Render render = RenderText(u"HIH", style);
    uint8_t outlineOnly = 0, fillAlpha = 0;
    for (size_t i = 0; i < render.bgra.size(); i += 4) {
        const uint8_t* p = &render.bgra[i];
        if (p[0] == 0xFF && p[1] == 0 && p[2] == 0)
            outlineOnly = std::max(outlineOnly, p[3]);
        if (p[0] == 0 && p[1] == 0xFF && p[2] == 0xFF)
            fillAlpha = std::max(fillAlpha, p[3]);
    }
    EXPECT_EQ(outlineOnly, 22);
    EXPECT_EQ(fillAlpha, 255);
}

TEST(Pixels, BackgroundFillsTheBoxOrTheWholeBuffer) {
    TextStyle style = Style(48);
    style.backgroundOpacity = 50;
    style.backgroundColor = 0xFF0000FF;
    ScopedGraphics scoped;
    TextRasteriser rasteriser;
    SourceTexture texture;
    rasteriser.UpdateTexture(String(u"Background"), style, texture);
    const Render render = RenderedPixels(rasteriser);
    const TextureLayout& layout = rasteriser.LastLayout();
    const bool fillsBuffer = layout.backgroundFillsBuffer;
    // Whichever rule applied, the corner inside the box has the background.
    EXPECT_EQ(render.Alpha(0, 0), 127);
    EXPECT_EQ(render.Pixel(0, 0)[0], 0xFF);
    EXPECT_EQ(render.Alpha(render.width - 1, render.height - 1), fillsBuffer ? 127 : 0);
    WritePng(render, "render_background_box");
    GS->DeleteTexture(texture.texture);
}

TEST(Fonts, ChineseRendersRealGlyphsNotMissingGlyphBoxes) {
    const Render gan = RenderText(u"感", Style(48));
    const Render xie = RenderText(u"谢", Style(48));
    const Render missing1 = RenderText(u"\U0010FFFD", Style(48));
    const Render missing2 = RenderText(u"\U0010FFFC", Style(48));
    // Two missing characters look the same (the missing-glyph box); two real
    // glyphs differ from each other and from that box.
    EXPECT_EQ(missing1.bgra, missing2.bgra);
    EXPECT_NE(gan.bgra, xie.bgra);
    EXPECT_GT(gan.Ink(), 0u);
    EXPECT_NE(gan.Ink(), missing1.Ink());
    EXPECT_NE(xie.Ink(), missing1.Ink());
}

TEST(Fonts, BoldAndItalicChangeTheInk) {
    TextStyle style = Style(48);
    const Render regular = RenderText(u"Hello", style);
    style.bold = true;
    const Render bold = RenderText(u"Hello", style);
    style.bold = false;
    style.italic = true;
    const Render italic = RenderText(u"Hello", style);
    EXPECT_GT(bold.Ink(), regular.Ink() * 11 / 10);
    EXPECT_NE(italic.bgra, regular.bgra);
    // Bold fallback glyphs are emboldened too.
    style.italic = false;
    const uint64_t regularChinese = RenderText(u"感谢", Style(48)).Ink();
    style.bold = true;
    EXPECT_GT(RenderText(u"感谢", style).Ink(), regularChinese * 11 / 10);
}

TEST(Pixels, RepresentativeRendersForTheEye) {
    TextStyle style = Style(56);
    WritePng(RenderText(u"Thank you, Alice!", style), "render_plain");
    WritePng(RenderText(u"设置后将开始显示答谢文字", Style(48)), "render_chinese");
    WritePng(RenderText(u"感谢Alice赠送的3个火箭 x3", style), "render_mixed");
    style.outline = true;
    style.outlineSize = 3.0f;
    style.outlineColor = 0xFFC00000;
    style.underline = true;
    WritePng(RenderText(u"感谢Alice赠送的3个火箭 x3", style), "render_outlined_underlined");
    TextStyle boxed = Style(40);
    boxed.backgroundOpacity = 60;
    boxed.backgroundColor = 0xFF203060;
    boxed.italic = true;
    WritePng(RenderText(u"两行文字 two lines\nSecond 第二行", boxed), "render_background_two_lines");
}

}  // namespace
