// SPDX-License-Identifier: GPL-2.0-or-later
// Hostile settings: out-of-range sizes, opacities and outlines, an overlong
// font name and colours that are not numbers. The source loads them, draws a
// texture of sane size, and the "Set:" message keeps its 31 fields.
#include "bridge/settings_message.h"
#include "channel/channel_registry.h"
#include "channel/process_state.h"
#include "host/cairo_graphics.h"
#include "host/host_control.h"
#include "host/scene_document.h"
#include "source/morvik_thanks_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

class HostileSettings : public ::testing::Test {
protected:
    void SetUp() override { SetLogToStderr(false); }
    void TearDown() override {
        channelRegistry.Clear();
        displayText = String();
        SetLogToStderr(true);
    }

    // Loads `values` as a source's settings and draws `text` with them.
    struct Drawn {
        TextStyle style;
        SourceTexture texture;
        size_t fields = 0;
    };
    Drawn Draw(const SceneJson& values, const char16_t* text = u"感谢老王赠送的5个啤酒") {
        XElement* settings = scene.Root()->CreateElement(u"data");
        *static_cast<JsonElement*>(settings)->Node() = values;
        std::unique_ptr<ImageSource> source(CreateThanksSource(settings));
        auto& thanks = static_cast<MorvikThanksImage&>(*source);
        displayText = String(text);
        thanks.UpdateTexture();
        thanks.Render(Vect2{0, 0}, Vect2{100, 40});
        const std::u16string message = ComposeSettingsMessage(settings, 3).Text();
        size_t fields = 1;
        for (size_t at = 0; (at = message.find(u"{|}", at)) != std::u16string::npos; at += 3) ++fields;
        return {thanks.Style(), thanks.TextureState(), fields};
    }

    static void ExpectSaneTexture(const SourceTexture& texture) {
        ASSERT_NE(texture.texture, nullptr);
        EXPECT_GE(texture.width, 32);
        EXPECT_LE(texture.width, 8192);
        EXPECT_GE(texture.height, 32);
        EXPECT_LE(texture.height, 8192);
    }

    CairoGraphics graphics;
    ScopedGraphicsSystem scoped{&graphics};
    SceneDocument scene;
};

TEST_F(HostileSettings, FontSizesOutsideAnyFontAreDrawnClamped) {
    for (int size : {0, -5, 100000, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        const Drawn drawn = Draw({{"fontSize", size}}, u"Hi");
        EXPECT_EQ(drawn.style.fontSize, size);
        ExpectSaneTexture(drawn.texture);
        EXPECT_EQ(drawn.fields, 31u);
    }
    // A huge cell height is as tall as a texture may be.
    EXPECT_EQ(Draw({{"fontSize", 100000}}, u"Hi").texture.height, 8192);
    EXPECT_EQ(Draw({{"fontSize", "100000px"}}, u"Hi").style.fontSize, 100000);
}

TEST_F(HostileSettings, OutlineSizesNaNNegativeAndHugeDrawWithoutAnInfiniteBox) {
    for (const SceneJson& size : {SceneJson(std::nan("")), SceneJson("nan"), SceneJson(-1), SceneJson(1e9),
                                  SceneJson(-1e9), SceneJson(std::numeric_limits<double>::infinity())}) {
        const Drawn drawn = Draw({{"outline", 1}, {"outlineSize", size}}, u"Hi");
        ExpectSaneTexture(drawn.texture);
        EXPECT_EQ(drawn.fields, 31u) << size.dump();
    }
    // A 1e9-wide outline grows the box to the largest texture, not beyond.
    const Drawn huge = Draw({{"outline", 1}, {"outlineSize", 1e9}}, u"Hi");
    EXPECT_EQ(huge.texture.width, 8192);
    EXPECT_EQ(huge.texture.height, 8192);
}

TEST_F(HostileSettings, OpacitiesOutsideZeroToHundredAreClamped) {
    const Drawn low = Draw({{"textOpacity", -50}, {"backgroundOpacity", -50}, {"outlineOpacity", -50}, {"outline", 1}});
    ExpectSaneTexture(low.texture);
    EXPECT_EQ(low.style.textOpacity, -50);  // stored as given, clamped when drawn
    const Drawn high = Draw({{"textOpacity", 300}, {"backgroundOpacity", 300}, {"outlineOpacity", 300}, {"outline", 1}});
    ExpectSaneTexture(high.texture);
    EXPECT_EQ(BrushAlpha(-50), 0);
    EXPECT_EQ(BrushAlpha(300), 255);
    EXPECT_EQ(OutlineAlpha(300, 300), 255);
    EXPECT_EQ(OutlineAlpha(-50, 300), 0);
}

TEST_F(HostileSettings, ATenThousandCharacterFontNameFallsBackAndTravelsWhole) {
    const std::string name(10000, 'F');
    const Drawn drawn = Draw({{"font", name}});
    ExpectSaneTexture(drawn.texture);
    EXPECT_EQ(drawn.style.fontName.Length(), 10000u);
    EXPECT_EQ(drawn.fields, 31u);
    XElement* settings = scene.Root()->GetElement(u"data");
    EXPECT_NE(ComposeSettingsMessage(settings, 3).ToUtf8().find(name), std::string::npos);
}

TEST_F(HostileSettings, ColoursThatAreNotNumbersGiveTheDefault) {
    const Drawn drawn = Draw({{"color", "red"},
                              {"outlineColor", SceneJson::array({1, 2})},
                              {"backgroundColor", nullptr},
                              {"backgroundOpacity", 100}});
    ExpectSaneTexture(drawn.texture);
    EXPECT_EQ(drawn.style.color, 0xFFFFFFFFu) << "a text that is no number gives the default";
    EXPECT_EQ(drawn.style.outlineColor, 0xFF000000u);
    EXPECT_EQ(drawn.style.backgroundColor, 0xFF000000u);
    EXPECT_EQ(drawn.fields, 31u);
    EXPECT_EQ(Draw({{"color", "16711680xyz"}}).style.color, 16711680u);
    EXPECT_EQ(Draw({{"color", 1e300}}).fields, 31u);
}

}  // namespace
