// SPDX-License-Identifier: GPL-2.0-or-later
// Viewer names written to break a text source, against the real fonts: each
// is drawn, inside the texture's clamps, without a crash; characters no font
// covers show the missing-glyph box, control characters show nothing.
#include "render_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int kMaxTextureSide = 8192;

TextStyle Names() {
    TextStyle style = Style(56);
    style.fontName = u"WenQuanYi Micro Hei";
    style.outline = true;
    style.outlineSize = 3;
    return style;
}

std::u16string Repeated(const std::u16string& piece, int times) {
    std::u16string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(HostileNames, EachIsDrawnInsideTheTextureClamps) {
    const struct {
        const char* what;
        std::u16string text;
    } names[] = {
        {"hundreds of combining marks", u"Z" + Repeated(u"\u0301\u0316", 300) + u"小明"},
        {"two hundred emoji", Repeated(u"😀", 200)},
        {"right-to-left names among Chinese", u"感谢 مرحبا بالعالم 小明 שלום עולם! 赠送的火箭"},
        {"characters no font covers", u"\U0010FFFD\uFFFF\U000F0000"},
        {"bidi overrides and invisible marks", u"\u202E小明\u202C\u200B\u2066Bob\u2069\uFEFF"},
        {"a long line of mixed scripts", Repeated(u"感谢Bobمرحبا🌹", 150)},
    };
    for (const auto& name : names) {
        SCOPED_TRACE(name.what);
        const Render render = RenderText(name.text, Names());
        EXPECT_GT(render.width, 0);
        EXPECT_LE(render.width, kMaxTextureSide);
        EXPECT_LE(render.height, kMaxTextureSide);
        EXPECT_GT(render.Ink(), 0u) << "nothing drawn";
        WritePng(render, std::string("hostile_") + std::to_string(&name - names));
    }
}

TEST(HostileNames, UncoveredCharactersShowTheMissingGlyphBoxNeverNothing) {
    // A private-use character and a noncharacter no installed font has.
    for (const char16_t* uncovered : {u"\U0010FFFD", u"\uFFFF"}) {
        const Render render = RenderText(uncovered, Style(56));
        EXPECT_GT(render.width, 10) << "dropped instead of boxed";
        EXPECT_GT(render.Ink(), 0u);
    }
}

TEST(HostileNames, ControlCharactersAreDrawnAsNothingButLineBreaksBreak) {
    const TextStyle style = Names();
    const Render clean = RenderText(u"ab小明", style);
    for (const char16_t* dirty : {u"a\u0007b小明", u"a\u001Bb\u007F小明", u"\u0085ab小\u009F明", u"a\tb小明"}) {
        const Render render = RenderText(dirty, style);
        EXPECT_EQ(render.width, clean.width) << "a control character took room";
        EXPECT_EQ(render.bgra, clean.bgra) << "a control character was drawn";
    }
    EXPECT_GT(RenderText(u"ab\n小明", style).height, clean.height) << "the line feed is the text's own line break";
}

}  // namespace
