// SPDX-License-Identifier: GPL-2.0-or-later
#include "channel/process_state.h"
#include "host/cairo_graphics.h"
#include "host/scene_document.h"
#include "source/morvik_thanks_image.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Each test starts from a freshly loaded plug-in: empty registry, the hint
// as display text, a redraw pending.
class ThanksSource : public ::testing::Test {
protected:
    void SetUp() override {
        channelRegistry.Clear();
        displayText = defaultHintText;
        redrawPending = true;
        graphics.SetCanvasSize(400, 200);
    }
    void TearDown() override { channelRegistry.Clear(); }

    XElement* NewSettings(const char* name) { return scene.Root()->CreateElement(String(name).Array()); }

    // Gives the source a live channel as scene begin would.
    ChannelRecord& Connect(XElement* settings, WindowHandle window) {
        ChannelRecord record;
        record.window = window;
        record.innerId = WindowNumberText(window);
        record.settings = settings;
        record.redraw = 1;
        settings->SetString(u"innerId", record.innerId.Array());
        channelRegistry.Append(record);
        return channelRegistry[channelRegistry.Size() - 1];
    }

    using SourcePtr = std::unique_ptr<ImageSource>;  // deleted back into MainAllocator
    SourcePtr Create(XElement* settings) { return SourcePtr(CreateThanksSource(settings)); }
    static MorvikThanksImage& Thanks(const SourcePtr& s) { return static_cast<MorvikThanksImage&>(*s); }

    CairoGraphics graphics;
    ScopedGraphicsSystem scoped{&graphics};
    SceneDocument scene;
};

TEST_F(ThanksSource, DefaultsBeforeConfiguration) {
    auto source = Create(NewSettings("a"));
    EXPECT_EQ(source->GetSize().x, 32.0f);
    EXPECT_EQ(source->GetSize().y, 32.0f);
    const TextStyle& style = Thanks(source).Style();
    EXPECT_TRUE(style.fontName == u"Arial");
    EXPECT_EQ(style.fontSize, 48);
    EXPECT_EQ(style.color, 0xFFFFFFFFu);
    EXPECT_EQ(style.outlineColor, 0xFF000000u);
    EXPECT_FALSE(style.outline);
}

TEST_F(ThanksSource, SettingsLoadReadsStoredIntegersAsTheSourceCountsThem) {
    XElement* settings = NewSettings("a");
    settings->SetInt(u"outline", 2);  // only exactly 1 means outline
    settings->SetInt(u"bold", 2);     // any non-zero value means bold
    settings->SetInt(u"color", -65536);
    settings->SetFloat(u"baseSizeCX", 180.4f);
    auto source = Create(settings);
    EXPECT_FALSE(Thanks(source).Style().outline);
    EXPECT_TRUE(Thanks(source).Style().bold);
    EXPECT_EQ(Thanks(source).Style().color, 0xFFFF0000u);
    EXPECT_EQ(source->GetSize().x, 180.4f);
}

TEST_F(ThanksSource, FirstSourceWithoutAChannelDrawsTheHintOnceOnly) {
    auto source = Create(NewSettings("a"));
    source->Preprocess();
    EXPECT_TRUE(displayText == defaultHintText);
    EXPECT_EQ(graphics.Counters().texturesCreated, 1u);
    EXPECT_FALSE(redrawPending);
    source->Preprocess();
    source->Preprocess();
    EXPECT_EQ(graphics.Counters().texturesCreated, 1u);
    EXPECT_EQ(graphics.Counters().imagesUpdated, 0u);
}

TEST_F(ThanksSource, PushedTextIsTrimmedAndRedrawnEveryFrame) {
    XElement* settings = NewSettings("a");
    auto source = Create(settings);
    ChannelRecord& entry = Connect(settings, 0x100);
    entry.text = u"  感谢Alice赠送的3个火箭 x3\u3000";
    source->Preprocess();
    EXPECT_TRUE(displayText == u"感谢Alice赠送的3个火箭 x3");
    source->Preprocess();
    EXPECT_EQ(graphics.Counters().texturesCreated, 1u);
    EXPECT_EQ(graphics.Counters().imagesUpdated, 1u);  // the same size: the texture is reused
}

TEST_F(ThanksSource, AChannelWithoutTextDrawsItsOwnLastTextNotAnothers) {
    XElement* first = NewSettings("a");
    XElement* second = NewSettings("b");
    auto a = Create(first);
    auto b = Create(second);
    Connect(first, 0x100).text = u"Alice";
    Connect(second, 0x200);
    a->Preprocess();
    b->Preprocess();
    EXPECT_TRUE(displayText == defaultHintText);  // b has no text yet: its own hint
    channelRegistry[1].text = u"Bob";
    b->Preprocess();
    channelRegistry[1].text = u"";
    a->Preprocess();
    b->Preprocess();
    EXPECT_TRUE(displayText == u"Bob");
}

TEST_F(ThanksSource, RandomColourOverwritesUntilTheSettingsAreLoadedAgain) {
    XElement* settings = NewSettings("a");
    settings->SetInt(u"color", -65536);
    auto source = Create(settings);
    settings->SetInt(u"RandomColor", 1);
    source->Preprocess();
    EXPECT_EQ(Thanks(source).Style().color, 0xFFFFFFFFu);  // no RandomForeColor stored: white
    settings->SetInt(u"RandomForeColor", -16776961);
    source->Preprocess();
    settings->SetInt(u"RandomColor", 0);
    source->Preprocess();
    EXPECT_EQ(Thanks(source).Style().color, 0xFF0000FFu);
    source->UpdateSettings();
    EXPECT_EQ(Thanks(source).Style().color, 0xFFFF0000u);
}

TEST_F(ThanksSource, RenderScalesTheTextureByHostSizeOverBaseSize) {
    XElement* settings = NewSettings("a");
    settings->SetFloat(u"baseSizeCX", 100.0f);
    settings->SetFloat(u"baseSizeCY", 50.0f);
    auto source = Create(settings);
    source->Render({0, 0}, {100, 50});
    EXPECT_EQ(graphics.Counters().spritesDrawn, 0u);  // no texture yet: nothing drawn

    source->Preprocess();
    const SourceTexture& texture = Thanks(source).TextureState();
    ASSERT_NE(texture.texture, nullptr);
    graphics.ClearCanvas(0);
    source->Render({10, 20}, {100, 50});  // 1:1
    const auto canvas = graphics.CanvasPixels();
    auto alphaAt = [&](const std::vector<uint8_t>& px, int x, int y) { return px[(static_cast<size_t>(y) * 400 + x) * 4 + 3]; };
    int inkRight = -1, inkBottom = -1;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 400; ++x)
            if (alphaAt(canvas, x, y)) inkRight = std::max(inkRight, x), inkBottom = std::max(inkBottom, y);
    EXPECT_LT(inkRight, 10 + texture.width);
    EXPECT_LT(inkBottom, 20 + texture.height);
    EXPECT_GT(inkRight, 10 + texture.width / 2);

    graphics.ClearCanvas(0);
    source->Render({0, 0}, {50, 25});  // half the base size: half the pixels
    const auto half = graphics.CanvasPixels();
    int halfRight = -1;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 400; ++x)
            if (alphaAt(half, x, y)) halfRight = std::max(halfRight, x);
    EXPECT_LE(halfRight, texture.width / 2 + 1);
    EXPECT_GT(halfRight, (inkRight - 10) / 2 - 2);
}

TEST_F(ThanksSource, ADamagedBaseSizeDrawsAtPixelSizeInsteadOfAnInfiniteScale) {
    XElement* settings = NewSettings("a");
    settings->SetFloat(u"baseSizeCX", 0.0f);
    settings->SetFloat(u"baseSizeCY", -4.0f);
    auto source = Create(settings);
    source->Preprocess();
    const SourceTexture& texture = Thanks(source).TextureState();
    ASSERT_NE(texture.texture, nullptr);
    graphics.ClearCanvas(0);
    source->Render({0, 0}, {200, 100});
    const auto canvas = graphics.CanvasPixels();
    int inkRight = -1;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 400; ++x)
            if (canvas[(static_cast<size_t>(y) * 400 + x) * 4 + 3]) inkRight = std::max(inkRight, x);
    EXPECT_GT(inkRight, texture.width / 2);
    EXPECT_LT(inkRight, texture.width);
}

TEST_F(ThanksSource, DestructionRetiresTheChannelDeletesTheTextureAndFreesStorage) {
    const size_t blocks = MainAllocator->LiveBlocks();
    XElement* settings = NewSettings("a");
    {
        auto source = Create(settings);
        Connect(settings, 0x300);
        source->Preprocess();
        EXPECT_EQ(MainAllocator->LiveBlocks(), blocks + 1);
    }
    EXPECT_TRUE(channelRegistry[0].innerId == u"768.delete");
    EXPECT_EQ(channelRegistry[0].settings, nullptr);
    EXPECT_EQ(channelRegistry.FindEntryByWindow(0x300), &channelRegistry[0]);
    EXPECT_EQ(graphics.Counters().TexturesAlive(), 0u);
    EXPECT_EQ(MainAllocator->LiveBlocks(), blocks);

    // A new source from the same settings finds no live channel.
    auto again = Create(settings);
    EXPECT_EQ(channelRegistry.FindEntryByInnerId(settings->GetString(u"innerId"), settings), nullptr);
}

}  // namespace
