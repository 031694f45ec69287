// SPDX-License-Identifier: GPL-2.0-or-later
// What the thanks source draws with blocked words, through the real
// rasteriser: without entries, the very pixels it drew before; with them,
// the pixels and size of the masked text, for the hint and pushed texts
// alike, and a changed list drawn on the next frame.
#include "channel/process_state.h"
#include "host/scene_document.h"
#include "source/morvik_thanks_image.h"
#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class MaskedDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        channelRegistry.Clear();
        displayText = defaultHintText;
        redrawPending = true;
    }
    void TearDown() override { channelRegistry.Clear(); }

    XElement* NewSettings(const char* name, const char16_t* blockedWords = nullptr) {
        XElement* settings = scene.Root()->CreateElement(String(name).Array());
        settings->SetString(u"font", u"WenQuanYi Micro Hei");
        settings->SetInt(u"fontSize", 40);
        settings->SetInt(u"color", static_cast<int>(0xFFFFD700u));
        if (blockedWords) settings->SetString(u"blocked_words", blockedWords);
        return settings;
    }

    // A live channel for the source, holding `text` as a pushed thanks.
    void Push(XElement* settings, const std::u16string& text) {
        if (channelRegistry.Size() == 0) {
            ChannelRecord record;
            record.window = 0x100;
            record.innerId = WindowNumberText(record.window);
            record.settings = settings;
            record.redraw = 1;
            settings->SetString(u"innerId", record.innerId.Array());
            channelRegistry.Append(record);
        }
        channelRegistry[0].text = String(text);
    }

    using SourcePtr = std::unique_ptr<ImageSource>;
    SourcePtr Create(XElement* settings) { return SourcePtr(CreateThanksSource(settings)); }

    // The pixels the host holds for the source after a frame.
    static Render Frame(const SourcePtr& source) {
        source->Preprocess();
        const auto& thanks = static_cast<const MorvikThanksImage&>(*source);
        const auto* texture = static_cast<const RecordingGraphics::RecordedTexture*>(thanks.TextureState().texture);
        Render render;
        if (!texture) return render;
        render.width = static_cast<int>(texture->width);
        render.height = static_cast<int>(texture->height);
        render.bgra = texture->pixels;
        return render;
    }
    static const TextStyle& StyleOf(const SourcePtr& source) {
        return static_cast<const MorvikThanksImage&>(*source).Style();
    }

    ScopedGraphics graphics;
    SceneDocument scene;
};

void ExpectSameRender(const Render& actual, const Render& expected, const char* what) {
    EXPECT_EQ(actual.width, expected.width) << what;
    EXPECT_EQ(actual.height, expected.height) << what;
    EXPECT_TRUE(actual.bgra == expected.bgra) << what;
}

TEST_F(MaskedDrawing, WithoutEntriesTheSourceDrawsByteForByteAsBefore) {
    const std::u16string texts[] = {u"感谢Alice赠送的3个火箭 x3", u"感谢🌹小明😀赠送的🚀 x3", u"b\u200Bad مرحبا"};
    for (const char16_t* setting : {static_cast<const char16_t*>(nullptr), u"", u"\n  \r\n", u"...\n\u200B"}) {
        XElement* settings = NewSettings("a", setting);
        auto source = Create(settings);
        // The hint first, as a source without a channel shows it.
        ExpectSameRender(Frame(source), RenderText(defaultHintText.Text(), StyleOf(source)), "hint");
        for (const std::u16string& text : texts) {
            Push(settings, text);
            ExpectSameRender(Frame(source), RenderText(text, StyleOf(source)), Utf16ToUtf8(text).c_str());
        }
        source.reset();
        // As the next run of a freshly loaded plug-in.
        channelRegistry.Clear();
        displayText = defaultHintText;
        redrawPending = true;
    }
}

TEST_F(MaskedDrawing, TheMaskedTextIsWhatIsDrawnAndSizedAndAChangedListIsDrawnOnTheNextFrame) {
    // The hint is drawn masked too.
    XElement* settings = NewSettings("a", u"设置\nalice");
    auto source = Create(settings);
    const std::u16string maskedHint = u"***" + defaultHintText.Text().substr(2);
    ExpectSameRender(Frame(source), RenderText(maskedHint, StyleOf(source)), "hint");

    // A pushed thanks: the texture has the masked text's pixels and size,
    // narrower than the name it hides.
    const std::u16string thanks = u"感谢ＡＬＩＣＥ\u200B赠送的3个火箭 x3";
    Push(settings, thanks);
    const Render masked = Frame(source);
    ExpectSameRender(masked, RenderText(u"感谢***赠送的3个火箭 x3", StyleOf(source)), "thanks");
    EXPECT_LT(masked.width, RenderText(thanks, StyleOf(source)).width);

    // A changed list is drawn on the next frame; so is an emptied one.
    settings->SetString(u"blocked_words", u"火箭\nalice");
    source->UpdateSettings();
    ExpectSameRender(Frame(source), RenderText(u"感谢***赠送的3个*** x3", StyleOf(source)), "new list");
    settings->SetString(u"blocked_words", u"");
    source->UpdateSettings();
    ExpectSameRender(Frame(source), RenderText(thanks, StyleOf(source)), "no list");
}

// PNGs to look at: a masked name plain, outlined, and among emoji.
TEST_F(MaskedDrawing, MaskedThanksArePicturedPlainOutlinedAndWithEmoji) {
    struct Picture {
        const char* file;
        bool outline;
        std::u16string text, masked;
    };
    const Picture pictures[] = {
        {"blocked_words_plain", false, u"感谢Ｂ.Ａ.Ｄ赠送的3个火箭 x3", u"感谢***赠送的3个火箭 x3"},
        {"blocked_words_outlined", true, u"感谢傻\u200B瓜小明赠送的1个啤酒", u"感谢***小明赠送的1个啤酒"},
        {"blocked_words_emoji", false, u"感谢🌹bаd😀赠送的🚀 x3 مرحبا", u"感谢🌹***😀赠送的🚀 x3 مرحبا"},
    };
    for (const Picture& picture : pictures) {
        XElement* settings = NewSettings(picture.file, u"bad\n傻瓜");
        settings->SetInt(u"outline", picture.outline ? 1 : 0);
        settings->SetInt(u"outlineSize", 3);
        auto source = Create(settings);
        channelRegistry.Clear();
        Push(settings, picture.text);
        const Render render = Frame(source);
        ExpectSameRender(render, RenderText(picture.masked, StyleOf(source)), picture.file);
        WritePng(render, picture.file);
    }
}

}  // namespace
