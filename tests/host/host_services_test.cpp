// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/OBSApi.h"
#include "host/cairo_graphics.h"
#include "host/host_control.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <cctype>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Pixel {
    uint8_t b, g, r, a;
};

std::vector<uint8_t> Solid(unsigned count, Pixel p) {
    std::vector<uint8_t> out;
    for (unsigned i = 0; i < count; ++i) out.insert(out.end(), {p.b, p.g, p.r, p.a});
    return out;
}

Pixel At(const std::vector<uint8_t>& pixels, int width, int x, int y) {
    const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

TEST(HostLog, FormatsWideTextNumbersAndPercentSigns) {
    SetLogToStderr(false);
    LogCapture capture;
    AppWarning(u"MeasureString failed: %u (%s) %d %x %% %f", 18u, u"字体", -3, 255u, 1.5);
    Log(u"%s", u"100%s sure");
    Log(u"[%5d|%-4s|%04x|%.2f|%lld|%zu|%*s|%.1s|%q|%", 42, u"ab", 255u, 3.14159, -5000000000LL, size_t{7}, 3, u"c",
        u"xyz");
    OBSMessageBox(nullptr, u"错误码126", nullptr, 0);
    const auto lines = capture.Lines();
    SetLogToStderr(true);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].kind, LogKind::Warning);
    EXPECT_EQ(lines[0].text.ToUtf8(), "MeasureString failed: 18 (字体) -3 ff % 1.500000");
    EXPECT_EQ(lines[1].text.ToUtf8(), "100%s sure");
    EXPECT_EQ(lines[2].text.ToUtf8(), "[   42|ab  |00ff|3.14|-5000000000|7|  c|x|%q|%");
    EXPECT_EQ(lines[3].kind, LogKind::MessageBox);
    EXPECT_EQ(lines[3].text.ToUtf8(), "错误码126");
}

TEST(HostLog, LogFileGetsStampedAndMarkedLines) {
    char pattern[] = "/tmp/morvik-log-XXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    SetLogToStderr(false);
    ASSERT_TRUE(SetLogFile(pattern));
    Log(u"plain %d", 1);
    AppWarning(u"careful");
    OBSMessageBox(nullptr, u"text", u"caption", 0);
    ASSERT_TRUE(SetLogFile(""));
    SetLogToStderr(true);
    std::ifstream in(pattern);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    unlink(pattern);
    ASSERT_EQ(lines.size(), 3u);
    // "HH:MM:SS.mmm: " before each line.
    for (const std::string& line : lines) {
        ASSERT_GE(line.size(), 14u) << line;
        for (size_t i : {0, 1, 3, 4, 6, 7, 9, 10, 11}) EXPECT_TRUE(std::isdigit(line[i])) << line;
        EXPECT_EQ(line.substr(2, 1) + line.substr(5, 1) + line.substr(8, 1) + line.substr(12, 2), "::.: ") << line;
    }
    EXPECT_EQ(lines[0].substr(14), "plain 1");
    EXPECT_EQ(lines[1].substr(14), "warning: careful");
    EXPECT_EQ(lines[2].substr(14), "[message box] caption: text");
    EXPECT_FALSE(SetLogFile("/nonexistent-folder/log.txt"));
    SetLogFile("");
}

ImageSource* CreateNothing(XElement*) { return nullptr; }

TEST(HostRegistry, RefusesIncompleteClassesAndReplacesRepeatedNames) {
    SetLogToStderr(false);
    LogCapture capture;
    ClearRegisteredClasses();
    API->RegisterImageSourceClass(u"", u"No name", CreateNothing, nullptr);
    API->RegisterImageSourceClass(u"NoCreate", u"No create", nullptr, nullptr);
    API->RegisterImageSourceClass(u"A", u"First", CreateNothing, nullptr);
    API->RegisterImageSourceClass(u"B", u"Other", CreateNothing, nullptr);
    API->RegisterImageSourceClass(u"A", u"Second", CreateNothing, nullptr);
    ASSERT_EQ(RegisteredClasses().size(), 2u);
    EXPECT_TRUE(RegisteredClasses()[0].displayName == u"Second");
    EXPECT_TRUE(RegisteredClasses()[1].className == u"B");
    EXPECT_EQ(capture.Of(LogKind::Warning).size(), 3u);

    EXPECT_EQ(CreateSourceOfClass(String(u"Missing"), nullptr), nullptr);
    EXPECT_EQ(CreateSourceOfClass(String(u"A"), nullptr), nullptr);
    EXPECT_EQ(capture.Of(LogKind::Warning).size(), 5u);
    ClearRegisteredClasses();
    SetLogToStderr(true);
    EXPECT_TRUE(RegisteredClasses().empty());
}

TEST(HostLocale, KnownKeyHasThePlaceholderAndUnknownKeyIsItself) {
    EXPECT_NE(String(locale->LookupString(u"Sources.TextSource.FontNotFound")).Text().find(u"$1"), std::u16string::npos);
    EXPECT_TRUE(String(locale->LookupString(u"No.Such.Key")) == u"No.Such.Key");
}

class TestSource final : public ImageSource {
public:
    void Render(const Vect2&, const Vect2&) override {}
    Vect2 GetSize() const override { return {}; }
};

TEST(HostAllocator, SourcesAndBlocksAreCounted) {
    const size_t before = MainAllocator->LiveBlocks();
    ImageSource* source = new TestSource;
    void* block = MainAllocator->Allocate(100);
    EXPECT_EQ(MainAllocator->LiveBlocks(), before + 2);
    delete source;
    MainAllocator->Free(block);
    MainAllocator->Free(nullptr);
    EXPECT_EQ(MainAllocator->LiveBlocks(), before);
}

TEST(CairoGraphics, SpritesScaleAndBlendSourceOver) {
    CairoGraphics graphics;
    ScopedGraphicsSystem scoped(&graphics);
    ASSERT_TRUE(graphics.SetCanvasSize(8, 4));
    graphics.ClearCanvas(0xFF0000FF);  // opaque blue

    // A 2x1 texture: opaque red, then half-transparent white.
    std::vector<uint8_t> pixels = {0, 0, 255, 255, 255, 255, 255, 128};
    Texture* texture = GS->CreateTexture(2, 1, GS_BGRA, pixels.data(), false, false);
    ASSERT_NE(texture, nullptr);
    GS->DrawSprite(texture, 0xFFFFFFFF, 0, 0, 8, 4);  // scaled 4x in both directions
    const auto canvas = graphics.CanvasPixels();
    const Pixel left = At(canvas, 8, 0, 1), right = At(canvas, 8, 7, 1), middle = At(canvas, 8, 4, 1);
    EXPECT_EQ(left.r, 255);
    EXPECT_EQ(left.b, 0);
    EXPECT_EQ(left.a, 255);
    // Half white over blue: about (128, 128, 255), straight from the blend.
    EXPECT_NEAR(right.r, 128, 2);
    EXPECT_NEAR(right.g, 128, 2);
    EXPECT_EQ(right.b, 255);
    EXPECT_EQ(right.a, 255);
    // Bilinear: the middle is a mix of its neighbours, neither pure red nor the right side.
    EXPECT_GT(middle.r, right.r);
    EXPECT_LT(middle.r, 255);
    const char* output = std::getenv("MORVIK_TEST_OUTPUT");
    EXPECT_EQ(graphics.WriteCanvasPng(std::string(output ? output : "/tmp") + "/host_sprite_scaled.png"), "");
    EXPECT_NE(graphics.WriteCanvasPng("/nonexistent-folder/x.png"), "");

    // An image update replaces the pixels; the texture's size stays.
    std::vector<uint8_t> green = Solid(2, {0, 255, 0, 255});
    texture->SetImage(green.data(), GS_IMAGEFORMAT_BGRA, 8);
    GS->DrawSprite(texture, 0xFFFFFFFF, 0, 0, 2, 1);
    EXPECT_EQ(At(graphics.CanvasPixels(), 8, 0, 0).g, 255);
    EXPECT_EQ(graphics.Counters().imagesUpdated, 1u);
    EXPECT_EQ(graphics.Counters().spritesDrawn, 2u);
    GS->DeleteTexture(texture);
    EXPECT_EQ(graphics.Counters().TexturesAlive(), 0u);
}

TEST(CairoGraphics, ColourMultipliesEachChannelAndTheAlpha) {
    CairoGraphics graphics;
    ASSERT_TRUE(graphics.SetCanvasSize(2, 1));
    graphics.ClearCanvas(0);
    // Half-transparent white and opaque grey, tinted pure green.
    std::vector<uint8_t> pixels = {255, 255, 255, 128, 200, 200, 200, 255};
    Texture* texture = graphics.CreateTexture(2, 1, GS_BGRA, pixels.data(), false, false);
    ASSERT_NE(texture, nullptr);
    graphics.DrawSprite(texture, 0xFF00FF00, 0, 0, 2, 1);
    auto canvas = graphics.CanvasPixels();
    const Pixel half = At(canvas, 2, 0, 0), grey = At(canvas, 2, 1, 0);
    EXPECT_EQ(half.b, 0);
    EXPECT_EQ(half.r, 0);
    EXPECT_EQ(half.g, 255);
    EXPECT_EQ(half.a, 128);
    EXPECT_EQ(grey.b, 0);
    EXPECT_EQ(grey.g, 200);
    EXPECT_EQ(grey.a, 255);

    // The colour's alpha scales coverage: a quarter of the opaque grey.
    graphics.ClearCanvas(0);
    graphics.DrawSprite(texture, 0x40FFFFFF, 0, 0, 2, 1);
    canvas = graphics.CanvasPixels();
    EXPECT_NEAR(At(canvas, 2, 1, 0).a, 64, 1);
    EXPECT_NEAR(At(canvas, 2, 1, 0).r, 200, 2);
    graphics.DeleteTexture(texture);
}

TEST(CairoGraphics, OtherFormatsAreRefusedWithAWarning) {
    CairoGraphics graphics;
    SetLogToStderr(false);
    LogCapture capture;
    EXPECT_EQ(graphics.CreateTexture(4, 4, 5, nullptr, false, false), nullptr);
    EXPECT_EQ(graphics.CreateTexture(0, 4, GS_BGRA, nullptr, false, false), nullptr);
    Texture* texture = graphics.CreateTexture(1, 1, GS_BGRA, nullptr, false, false);
    ASSERT_NE(texture, nullptr);
    const uint8_t pixel[4] = {1, 2, 3, 4};
    texture->SetImage(pixel, 8, 4);
    SetLogToStderr(true);
    EXPECT_EQ(capture.Of(LogKind::Warning).size(), 3u);
    EXPECT_EQ(graphics.Counters().imagesUpdated, 0u);
    graphics.DeleteTexture(texture);
}

// A plug-in hands its pixels over every frame; those of the generation the
// texture holds are not taken again, and anything that may have changed the
// held pixels (a plain update, a refused one) makes the next hand-over count.
TEST(CairoGraphics, PixelsOfTheGenerationHeldAreNotTakenAgain) {
    CairoGraphics graphics;
    ASSERT_TRUE(graphics.SetCanvasSize(2, 1));
    Texture* texture = graphics.CreateTexture(2, 1, GS_BGRA, nullptr, false, false);
    ASSERT_NE(texture, nullptr);
    const std::vector<uint8_t> green = Solid(2, {0, 255, 0, 255}), red = Solid(2, {0, 0, 255, 255});
    auto shown = [&] {
        graphics.ClearCanvas(0);
        graphics.DrawSprite(texture, 0xFFFFFFFF, 0, 0, 2, 1);
        return At(graphics.CanvasPixels(), 2, 1, 0);
    };

    texture->SetImage(green.data(), GS_IMAGEFORMAT_BGRA, 8, 7);
    texture->SetImage(green.data(), GS_IMAGEFORMAT_BGRA, 8, 7);
    EXPECT_EQ(graphics.Counters().imagesUpdated, 1u);
    EXPECT_EQ(shown().g, 255);
    texture->SetImage(red.data(), GS_IMAGEFORMAT_BGRA, 8, 8);
    EXPECT_EQ(graphics.Counters().imagesUpdated, 2u);
    EXPECT_EQ(shown().r, 255);

    // Generation 0 is always taken; a plain update forgets the generation.
    texture->SetImage(green.data(), GS_IMAGEFORMAT_BGRA, 8, 0);
    texture->SetImage(green.data(), GS_IMAGEFORMAT_BGRA, 8, 0);
    EXPECT_EQ(graphics.Counters().imagesUpdated, 4u);
    texture->SetImage(red.data(), GS_IMAGEFORMAT_BGRA, 8, 8);
    texture->SetImage(green.data(), GS_IMAGEFORMAT_BGRA, 8);
    texture->SetImage(red.data(), GS_IMAGEFORMAT_BGRA, 8, 8);
    EXPECT_EQ(graphics.Counters().imagesUpdated, 7u);
    EXPECT_EQ(shown().r, 255);

    // A refused update holds no generation: the same generation, now in the
    // right format, is taken.
    SetLogToStderr(false);
    texture->SetImage(green.data(), 8, 8, 9);
    SetLogToStderr(true);
    texture->SetImage(green.data(), GS_IMAGEFORMAT_BGRA, 8, 9);
    EXPECT_EQ(graphics.Counters().imagesUpdated, 8u);
    EXPECT_EQ(shown().g, 255);
    graphics.DeleteTexture(texture);
}

TEST(CairoGraphics, StraightAlphaSurvivesTheRoundTripExactlyWhenOpaqueAndClosely) {
    const uint8_t edges[8] = {10, 20, 30, 255, 10, 20, 30, 0};
    uint8_t edgesOut[8];
    PremultiplyBgra(edges, edgesOut, 2);
    EXPECT_EQ(std::vector<uint8_t>(edgesOut, edgesOut + 8), (std::vector<uint8_t>{10, 20, 30, 255, 0, 0, 0, 0}));
    for (unsigned a = 1; a < 256; a += 7) {
        for (unsigned c = 0; c < 256; c += 5) {
            const uint8_t in[4] = {static_cast<uint8_t>(c), 0, 0, static_cast<uint8_t>(a)};
            uint8_t pre[4], out[4];
            PremultiplyBgra(in, pre, 1);
            UnpremultiplyToBgra(pre, out, 1);
            EXPECT_LE(pre[0], a);
            EXPECT_NEAR(out[0], c, 255.0 / a / 2 + 1) << "c " << c << " a " << a;
            if (a == 255) {
                EXPECT_EQ(out[0], c);
            }
        }
    }
}

}  // namespace
