// SPDX-License-Identifier: GPL-2.0-or-later
// Glyphs a font draws in colour (emoji), against the real fonts: they keep
// their own colours under the text's opacity, get the outline the letters
// get, and text without them renders exactly as it always did.
#include "render_test_support.h"
#include "render/text_font.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

uint64_t Digest(const Render& render) {
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&](uint8_t byte) { hash = (hash ^ byte) * 1099511628211ull; };
    for (int shift = 0; shift < 32; shift += 8) {
        mix(static_cast<uint8_t>(render.width >> shift));
        mix(static_cast<uint8_t>(render.height >> shift));
    }
    for (uint8_t byte : render.bgra) mix(byte);
    return hash;
}

TextStyle Chinese(int32_t fontSize = 56) {
    TextStyle style = Style(fontSize);
    style.fontName = u"WenQuanYi Micro Hei";
    style.color = 0xFFFFC800;  // gold
    return style;
}

// Pixels whose colour is far from the text colour: a colour glyph's own.
int OwnColouredPixels(const Render& render, uint32_t textColour) {
    const int r = (textColour >> 16) & 0xFF, g = (textColour >> 8) & 0xFF, b = textColour & 0xFF;
    int count = 0;
    for (int y = 0; y < render.height; ++y)
        for (int x = 0; x < render.width; ++x) {
            const uint8_t* p = render.Pixel(x, y);  // BGRA
            if (p[3] > 128 && std::abs(p[2] - r) + std::abs(p[1] - g) + std::abs(p[0] - b) > 150) ++count;
        }
    return count;
}

TEST(ColourGlyphs, TextWithoutThemRendersByteForByteAsBefore) {
    TextStyle plain = Chinese();
    TextStyle outlined = Chinese();
    outlined.outline = true;
    outlined.outlineSize = 3;
    TextStyle boxed = Chinese(40);
    boxed.backgroundOpacity = 60;
    boxed.underline = true;
    boxed.textOpacity = 70;
    // Digests of these renders made before colour glyphs were drawn.
    EXPECT_EQ(Digest(RenderText(u"感谢小明赠送的火箭 x3", plain)), 0xF9BDA75DA548BA28ull);
    EXPECT_EQ(Digest(RenderText(u"感谢小明赠送的火箭 x3", outlined)), 0xB9E7B7A6344F04EEull);
    EXPECT_EQ(Digest(RenderText(u"Thanks 小明\nfor 3 rockets", boxed)), 0x36741652DADAFB6Dull);
}

// Opaque pixels of exactly this colour, in the columns [left, right).
int PixelsOf(const Render& render, uint32_t colour, int left, int right) {
    int count = 0;
    for (int y = 0; y < render.height; ++y)
        for (int x = std::max(left, 0); x < std::min(right, render.width); ++x) {
            const uint8_t* p = render.Pixel(x, y);
            if (p[3] > 200 && p[2] == ((colour >> 16) & 0xFF) && p[1] == ((colour >> 8) & 0xFF) && p[0] == (colour & 0xFF))
                ++count;
        }
    return count;
}

TEST(ColourGlyphs, AnEmojiKeepsItsOwnColoursUnderTheTextOpacity) {
    TextStyle gold = Chinese();
    const Render rose = RenderText(u"🌹", gold);
    WritePng(rose, "colour_rose");
    // The rose's red and green, not a gold silhouette.
    EXPECT_GT(OwnColouredPixels(rose, gold.color), rose.width * rose.height / 10);
    EXPECT_EQ(rose.MaxAlpha(), 255);

    gold.textOpacity = 50;
    const Render half = RenderText(u"🌹", gold);
    EXPECT_NEAR(half.MaxAlpha(), 127, 2);
    EXPECT_NEAR(static_cast<double>(half.Ink()), rose.Ink() * 127.0 / 255.0, rose.Ink() * 0.02);
}

TEST(ColourGlyphs, TheOutlineFollowsAnEmojisSilhouetteAsItFollowsTheLetters) {
    TextStyle style = Chinese();
    const Render plain = RenderText(u"谢🌹", style);
    style.outline = true;
    style.outlineSize = 4;
    style.outlineColor = 0xFF0000FF;  // pure blue, which neither the letters nor the rose hold
    const Render outlined = RenderText(u"谢🌹", style);
    WritePng(outlined, "colour_rose_outlined");
    // The rose is the right half: its outline is there as the letter's is on the left.
    const int middle = plain.width / 2;
    EXPECT_EQ(PixelsOf(plain, 0xFF0000FF, 0, plain.width), 0);
    EXPECT_GT(PixelsOf(outlined, 0xFF0000FF, 0, middle), 20);
    EXPECT_GT(PixelsOf(outlined, 0xFF0000FF, middle, outlined.width), 20);
    // Under the glyph, not over it: the rose's red is still there.
    int red = 0;
    for (int y = 0; y < outlined.height; ++y)
        for (int x = middle; x < outlined.width; ++x) {
            const uint8_t* p = outlined.Pixel(x, y);
            if (p[3] > 200 && p[2] > 150 && p[1] < 90 && p[0] < 90) ++red;
        }
    EXPECT_GT(red, outlined.width * outlined.height / 40);
}

TEST(ColourGlyphs, SequencesAreOneGlyphAndVariationSelectorsPickTheForm) {
    const TextStyle style = Chinese();
    const int one = RenderText(u"😀", style).width;
    // A family joined by ZWJ, a skin tone, a flag and a keycap: one glyph each.
    for (const char16_t* sequence : {u"👨‍👩‍👧", u"👍🏽", u"🇨🇳", u"3️⃣"}) {
        const Render render = RenderText(sequence, style);
        EXPECT_NEAR(render.width, one, one / 4) << "measured as more than one glyph";
        EXPECT_GT(OwnColouredPixels(render, style.color), 0) << "not drawn in colour";
    }
    // U+FE0F asks for the emoji form, U+FE0E for the text form in the text
    // colour, and so does a character shown as text by default (U+2764 alone)
    // whichever face draws it: where no text face has it, the colour face's
    // glyph is drawn as its silhouette.
    const Render emoji = RenderText(u"❤️", style);
    WritePng(emoji, "colour_heart_emoji");
    EXPECT_GT(OwnColouredPixels(emoji, style.color), 0);
    for (const char16_t* textForm : {u"❤︎", u"❤"}) {
        const Render text = RenderText(textForm, style);
        WritePng(text, "colour_heart_text");
        EXPECT_EQ(OwnColouredPixels(text, style.color), 0);
        EXPECT_GT(text.Ink(), 0u);
    }
}

// CTest runs this file's cases a second time under a font configuration that
// lacks the text face with the widest symbol coverage, naming that face here:
// this makes sure the configuration took.
TEST(ColourGlyphs, TheFontConfigurationOfThisRunHoldsNoFaceItLeavesOut) {
    const char* leftOut = std::getenv("MORVIK_FACE_LEFT_OUT");
    if (!leftOut) GTEST_SKIP() << "every installed face is in this run";
    for (const std::string& family : InstalledFontFamilies())
        EXPECT_EQ(family.find(leftOut), std::string::npos) << family;
}

}  // namespace
