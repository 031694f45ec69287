// SPDX-License-Identifier: GPL-2.0-or-later
// The source's box in OBS is its text: the size it reports is the texture it
// draws for the current text, so OBS's filters, bounding boxes and alignment
// work on the whole line. Read back from libobs's output frames.

#include "tests/obs/obs_test_support.h"

#include <obs-module.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace obs_test {
namespace {

// Twenty-seven characters at 20 px: over twice as wide as the hint the
// base size is measured for.
const std::u16string kLongThanks = u"感谢一位名字特别特别长的老朋友赠送的99个超级豪华游艇";
const std::u16string kShortThanks = u"感谢小明";

// Green text, no outline; the logic assembly sends no text of its own (no
// room, no idle text), so the tests' texts stay.
std::string Settings(const std::string& more = "") {
    return R"({"font": "WenQuanYi Micro Hei", "fontSize": 20, "color": -16711936, "outline": 0,
               "is_no_thanks": 0)" + more + "}";
}

intptr_t WindowOf(const TestSource& source) {
    EXPECT_TRUE(WaitFor([&] { return !source.InnerId().empty(); }));
    return source.InnerId().empty() ? 0 : std::stoll(source.InnerId());
}

// Sends `text` and waits until the source reports a width that `fits`.
template <typename Fits>
bool ShowText(const TestSource& source, const std::u16string& text, Fits fits) {
    return SendThanksText(WindowOf(source), text) &&
           WaitFor([&] { return fits(obs_source_get_width(source.get())); });
}

// The extent of everything that is not the black canvas.
Extent Ink(const FrameGrabber::Frame& frame) {
    uint32_t left = frame.width, top = frame.height, right = 0, bottom = 0;
    for (uint32_t y = 0; y < frame.height; ++y)
        for (uint32_t x = 0; x < frame.width; ++x) {
            const uint8_t* pixel = frame.Pixel(x, y);
            if (std::max({pixel[0], pixel[1], pixel[2]}) < 16) continue;
            left = std::min(left, x), top = std::min(top, y);
            right = std::max(right, x + 1), bottom = std::max(bottom, y + 1);
        }
    return right ? Extent{left, top, right - left, bottom - top} : Extent{};
}

// A frame drawn after the change the test made: once the latest frame
// `shows` it, two more. OBS's read-back lags behind its renders, more so on
// a loaded machine, where a fixed count of frames still brought the frames
// from before the change.
template <typename Shows>
FrameGrabber::Frame Settled(FrameGrabber& grabber, Shows shows) {
    WaitFor([&] { return shows(grabber.Latest()); });
    const uint64_t seen = grabber.Count();
    WaitFor([&] { return grabber.Count() >= seen + 3; });
    return grabber.Latest();
}

// What a frame shows of kLongThanks and kShortThanks at font size 20 (well
// over 300 px and under 150 px), told apart from each other and from the
// built-in hint (about 200 px).
bool ShowsLong(const FrameGrabber::Frame& frame) { return GreenText(frame).width > 300; }
bool ShowsShort(const FrameGrabber::Frame& frame) {
    const uint32_t width = GreenText(frame).width;
    return width > 0 && width < 150;
}

// The reported size is the texture: with an opaque background the box the
// rasteriser measured is filled, and it is the size OBS sees (the texture is
// that box made even and at least 32 px a side). Nothing is drawn outside
// it; a shorter text shrinks it again. OBS's read-back frames show every
// source one column wider than it is drawn (its own colour source of 68 px
// comes back 69 px wide), hence the one column of slack on the right.
TEST(ObsGeometry, TheSourcesSizeIsTheTextItDrawsAndNothingIsDrawnOutsideIt) {
    TestSource source("geometry", Settings(R"(, "backgroundColor": -16776961, "backgroundOpacity": 100)"));
    FrameGrabber grabber;
    source.Show();
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_width(source.get()) > 32; }));
    const uint32_t hintWidth = obs_source_get_width(source.get());

    for (const std::u16string& text : {kLongThanks, kShortThanks}) {
        ASSERT_TRUE(ShowText(source, text, [&](uint32_t width) {
            return text == kLongThanks ? width > hintWidth * 2 : width < hintWidth / 2;
        }));
        const FrameGrabber::Frame frame = Settled(grabber, [&](const FrameGrabber::Frame& shown) {
            return text == kLongThanks ? ShowsLong(shown) : ShowsShort(shown);
        });
        SaveFrame(frame, text == kLongThanks ? "obs_geometry_long.png" : "obs_geometry_short.png");
        const uint32_t width = obs_source_get_width(source.get()), height = obs_source_get_height(source.get());
        const Extent background = ExtentOf(frame, 255, 0, 0, 40), ink = Ink(frame);
        EXPECT_LE(background.width, width + 1);
        EXPECT_GE(background.width + 2, width);
        EXPECT_EQ(background.height, 20u);
        EXPECT_EQ(height, 32u);
        EXPECT_LE(ink.left + ink.width, width + 1);
        EXPECT_LE(ink.top + ink.height, height);
        EXPECT_GT(GreenText(frame).width, width * 8 / 10);
    }
    source.Hide();
}

// OBS draws a source with a filter into a texture of the source's size: the
// whole line comes through an identity colour correction, pixel for pixel
// as without it (within a step of the filter's arithmetic).
TEST(ObsGeometry, AFilterShowsTheWholeLine) {
#if defined(__SANITIZE_THREAD__)
    // libobs frees a filter on its destruction thread once the last of its
    // atomically counted references goes; libobs is not built with
    // ThreadSanitizer, which sees the free but not the atomics that order it.
    GTEST_SKIP() << "libobs's filter teardown is ordered by atomics ThreadSanitizer cannot see";
#endif
    static const std::string loaded = LoadObsModule("/usr/lib/x86_64-linux-gnu/obs-plugins/obs-filters.so",
                                                    "/usr/share/obs/obs-plugins/obs-filters");
    ASSERT_EQ(loaded, "");
    TestSource source("filtered", R"({"font": "WenQuanYi Micro Hei", "fontSize": 20, "color": -16711936,
                                      "is_no_thanks": 0, "outline": 1, "outlineSize": 3, "outlineColor": -16776961})");
    FrameGrabber grabber;
    source.Show();
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_width(source.get()) > 32; }));
    ASSERT_TRUE(ShowText(source, kLongThanks, [](uint32_t width) { return width > 400; }));
    const FrameGrabber::Frame plain = Settled(grabber, ShowsLong);

    obs_source_t* filter = obs_source_create_private("color_filter_v2", "identity", nullptr);
    ASSERT_NE(filter, nullptr);
    obs_source_filter_add(source.get(), filter);
    // An identity filter shows nothing new to wait for: the frame is taken
    // once the filter is in the source's list and two frames have come.
    ASSERT_TRUE(WaitFor([&] { return obs_source_filter_count(source.get()) == 1; }));
    const FrameGrabber::Frame filtered = Settled(grabber, ShowsLong);
    SaveFrame(filtered, "obs_geometry_filtered.png");
    obs_source_filter_remove(source.get(), filter);
    obs_source_release(filter);

    EXPECT_EQ(GreenText(filtered).width, GreenText(plain).width);
    EXPECT_EQ(Ink(filtered).width, Ink(plain).width);
    int worst = 0;
    for (size_t i = 0; i < plain.bgra.size(); ++i) worst = std::max(worst, std::abs(plain.bgra[i] - filtered.bgra[i]));
    EXPECT_LE(worst, 2);
    source.Hide();
}

// OBS's layout tools on a scene item: a bounding box of "maximum size only"
// shrinks a thanks longer than it and leaves a shorter one as it is; with
// the item's alignment at the centre, a longer and a shorter thanks stay
// centred on the item's position.
TEST(ObsGeometry, BoundsShrinkALongThanksAndCentredItemsStayCentred) {
    TestSource source("laid out", Settings());
    obs_scene_t* scene = obs_scene_create_private("layout");
    obs_sceneitem_t* item = obs_scene_add(scene, source.get());
    obs_sceneitem_set_bounds_type(item, OBS_BOUNDS_MAX_ONLY);
    const vec2 bounds{300.0f, 100.0f};
    obs_sceneitem_set_bounds(item, &bounds);
    FrameGrabber grabber;
    source.ShowIn(scene);
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_width(source.get()) > 32; }));
    const uint32_t hintWidth = obs_source_get_width(source.get());

    ASSERT_TRUE(ShowText(source, kLongThanks, [](uint32_t width) { return width > 400; }));
    // Shrunk into the box, yet wider than the built-in hint before it.
    FrameGrabber::Frame frame =
        Settled(grabber, [&](const FrameGrabber::Frame& shown) { return GreenText(shown).width > hintWidth + 4; });
    SaveFrame(frame, "obs_geometry_bounded.png");
    EXPECT_LE(GreenText(frame).width, 300u);
    EXPECT_GT(GreenText(frame).width, 260u);

    ASSERT_TRUE(ShowText(source, kShortThanks, [](uint32_t width) { return width < 120; }));
    frame = Settled(grabber, ShowsShort);
    EXPECT_NEAR(GreenText(frame).width, obs_source_get_width(source.get()), 4.0);

    // Where the ink sits inside the source's own box depends on the fonts'
    // metrics (Pango and font versions differ between releases), so each
    // text's ink is first found with the item at the scene's corner; centred,
    // the same ink must move by exactly the item's half size.
    obs_sceneitem_set_bounds_type(item, OBS_BOUNDS_NONE);
    const vec2 corner{0.0f, 0.0f};
    const vec2 centre{320.0f, 180.0f};
    for (const std::u16string& text : {kLongThanks, kShortThanks}) {
        ASSERT_TRUE(ShowText(source, text, [&](uint32_t width) { return text == kLongThanks ? width > 400 : width < 120; }));
        obs_sceneitem_set_alignment(item, OBS_ALIGN_LEFT | OBS_ALIGN_TOP);
        obs_sceneitem_set_pos(item, &corner);
        const auto showsText = text == kLongThanks ? ShowsLong : ShowsShort;
        const Extent cornered = GreenText(Settled(grabber, [&](const FrameGrabber::Frame& shown) {
            return showsText(shown) && GreenText(shown).left < 20 && GreenText(shown).top < 20;
        }));
        obs_sceneitem_set_alignment(item, OBS_ALIGN_CENTER);
        obs_sceneitem_set_pos(item, &centre);
        frame = Settled(grabber, [&](const FrameGrabber::Frame& shown) {
            return showsText(shown) && GreenText(shown).top > 100;
        });
        const Extent green = GreenText(frame);
        const double halfWidth = obs_source_get_width(source.get()) / 2.0;
        const double halfHeight = obs_source_get_height(source.get()) / 2.0;
        EXPECT_NEAR(green.left, cornered.left + 320.0 - halfWidth, 1.0);
        EXPECT_NEAR(green.top, cornered.top + 180.0 - halfHeight, 1.0);
        // Read back, an edge's pixel may be sampled into one more column
        // or row at one place than at the other.
        EXPECT_NEAR(green.width, cornered.width, 1.0);
        EXPECT_NEAR(green.height, cornered.height, 1.0);
    }
    SaveFrame(frame, "obs_geometry_centred.png");
    obs_set_output_source(0, nullptr);
    // The item lets go of the source here, on this thread, rather than on
    // libobs's destruction thread with the scene: both releases count down
    // the source's references with atomics inside libobs, which
    // ThreadSanitizer does not see.
    obs_sceneitem_remove(item);
    obs_scene_release(scene);
}

// A face that is not installed is drawn with the fallback, and the size is
// that text's, not a placeholder.
TEST(ObsGeometry, AFaceThatIsNotInstalledGivesTheFallbackTextsSize) {
    TestSource source("missing face", R"({"font": "No Such Face Morvik", "fontSize": 20, "color": -16711936,
                                          "outline": 0, "is_no_thanks": 0})");
    FrameGrabber grabber;
    source.Show();
    const FrameGrabber::Frame frame =
        Settled(grabber, [](const FrameGrabber::Frame& shown) { return GreenText(shown).width > 100; });
    EXPECT_NEAR(obs_source_get_width(source.get()), GreenText(frame).width, 6.0);
    EXPECT_GE(obs_source_get_height(source.get()), 20u);
    source.Hide();
}

}  // namespace
}  // namespace obs_test
