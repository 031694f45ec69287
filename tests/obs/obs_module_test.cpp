// SPDX-License-Identifier: GPL-2.0-or-later
// The module inside a real libobs: started headless on the X display with
// Mesa's software renderer (the test runs under xvfb-run), the module loaded
// from a copy installed as a user installs it, and thanks sources driven by
// OBS's own threads, the test's main thread standing in for OBS's UI thread.

#include "tests/obs/obs_test_support.h"

#include <obs-module.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace obs_test {
namespace {

TEST(ObsModule, RegistersTheSourceUnderItsLocalisedName) {
    EXPECT_STREQ(obs_source_get_display_name("morvik_thanks_image"), "Morvik答谢水友");
}

// Shown on an output channel, the source is activated: the logic assembly
// gets its channel, settings and "start:", and the size OBS sees (its
// selection box, its screenshots) is that of the hint as drawn. Being
// shown changes nothing in OBS's settings of the source (an open Properties
// window would take that for a change of the user's). Hidden again, "stop:".
TEST(ObsModule, AShownSourceTakesTheSizeOfItsTextAndItsChannelStarts) {
    TestSource source("thanks", R"({"room_name": "demo", "fontSize": 64, "outline": 0})");
    const std::string before = obs_data_get_json(source.settings());
    source.Show();
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_width(source.get()) > 32; }));
    // Twelve ideographs of the hint at 64 px.
    EXPECT_GT(obs_source_get_width(source.get()), 12u * 50);
    EXPECT_EQ(obs_source_get_height(source.get()), 64u);
    EXPECT_EQ(obs_data_get_json(source.settings()), before);

    const std::string id = source.InnerId();
    ASSERT_FALSE(id.empty());
    EXPECT_TRUE(JournalHas("start:" + id));

    source.Hide();
    EXPECT_TRUE(WaitFor([&] { return JournalHas("stop:" + source.InnerId()); }));
}

// A scene collection saved by an earlier version carries a source's innerId,
// which a duplicate copies and which a restart's window numbers can repeat:
// a source whose saved innerId names another source's live window gets a
// channel of its own, with its own settings and "start:", and stopping it
// does not stop the other.
TEST(ObsModule, ADuplicatedSourceGetsAChannelOfItsOwn) {
    TestSource original("original", R"({"room_name": "demo"})");
    original.Show();
    ASSERT_TRUE(WaitFor([&] { return JournalHas("start:" + original.InnerId()); }));
    const std::string originalId = original.InnerId();

    TestSource duplicate("duplicate", R"({"room_name": "demo-loop", "innerId": ")" + originalId + R"("})");
    duplicate.Show(1);
    ASSERT_TRUE(WaitFor([&] { return !duplicate.InnerId().empty() && JournalHas("start:" + duplicate.InnerId()); }));
    EXPECT_NE(duplicate.InnerId(), originalId);

    const std::string id = duplicate.InnerId();
    EXPECT_TRUE(JournalHas("init:" + id));
    bool toldItsRoom = false;
    for (const std::string& line : Journal())
        toldItsRoom |= line.rfind("Set:" + id + "{|}", 0) == 0 && line.find("{|}demo-loop{|}") != std::string::npos;
    EXPECT_TRUE(toldItsRoom);
    duplicate.Hide(1);
    ASSERT_TRUE(WaitFor([&] { return JournalHas("stop:" + id); }));
    EXPECT_FALSE(JournalHas("stop:" + originalId));
    original.Hide();
}

// libobs allocates and frees on its own threads too (sources released in an
// earlier test are destroyed later): the count once it has stopped moving.
long SettledAllocations() {
    long last = bnum_allocs();
    for (int stable = 0; stable < 10;) {
        RunUiTasks();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const long now = bnum_allocs();
        stable = now == last ? stable + 1 : 0;
        last = now;
    }
    return last;
}

TEST(ObsModule, CreatingAndDestroyingSourcesLeaksNothing) {
    const long before = SettledAllocations();
    for (int i = 0; i < 50; ++i) TestSource("leak", "{}", true);
    EXPECT_EQ(SettledAllocations(), before);
}

// What the streamer sees: the built-in hint while the logic assembly has
// sent nothing (no room yet), then the thanks text it pushed, drawn by OBS's
// graphics thread into the output frames.
TEST(ObsModule, TheFramesShowTheHintThenTheThanksTextTheAssemblyPushes) {
    const std::string gifts = OutputPath("obs_module_gifts.txt");
    WriteFile(gifts, "0.5|一二三四五六七八九十|火箭|9|x3\n");
    TestSource source("frames", R"({"font": "WenQuanYi Micro Hei", "fontSize": 24, "color": -16711936,
                                    "outline": 0, "show_second": 0, "delay_show_second": 0, "is_no_thanks": 0,
                                    "thanks_string": "感谢$sender$赠送的$num$个$gift$"})");
    FrameGrabber grabber;
    source.Show();

    FrameGrabber::Frame hint;
    ASSERT_TRUE(WaitFor([&] { return GreenText(hint = grabber.Latest()).width > 0; }));
    SaveFrame(hint, "obs_module_hint.png");
    const uint32_t hintWidth = GreenText(hint).width;
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_width(source.get()) > 32; }));
    EXPECT_NEAR(hintWidth, obs_source_get_width(source.get()), hintWidth * 0.15);

    // A room set while the source is shown reaches the assembly at once;
    // hidden and shown again ("stop:", "start:"), the source replays it.
    obs_data_t* room = obs_data_create();
    obs_data_set_string(room, "room_name", gifts.c_str());
    obs_source_update(source.get(), room);
    obs_data_release(room);
    ASSERT_TRUE(WaitFor([&] {
        for (const std::string& line : Journal())
            if (line.rfind("Set:" + source.InnerId(), 0) == 0 && line.find(gifts) != std::string::npos) return true;
        return false;
    }));
    source.Hide();
    ASSERT_TRUE(WaitFor([&] { return JournalHas("stop:" + source.InnerId()); }));
    source.Show();
    FrameGrabber::Frame thanks;
    // "感谢一二三四五六七八九十赠送的9个火箭": eighteen ideographs and a
    // digit against the hint's twelve.
    const bool thanked = WaitFor([&] { return GreenText(thanks = grabber.Latest()).width > hintWidth * 14 / 10; });
    SaveFrame(thanks, "obs_module_thanks.png");
    EXPECT_TRUE(thanked) << "text width " << GreenText(thanks).width << ", hint " << hintWidth;
    source.Hide();
}

// A viewer name with an emoji, as OBS outputs it: the rose in its own red
// among the green letters, not a green silhouette.
TEST(ObsModule, AnEmojiInAViewersNameIsDrawnInItsOwnColours) {
    const std::string gifts = OutputPath("obs_module_emoji_gifts.txt");
    WriteFile(gifts, "0.2|小明🌹|火箭|1|\n");
    TestSource source("emoji", R"({"font": "WenQuanYi Micro Hei", "fontSize": 48, "color": -16711936, "outline": 0,
                                   "show_second": 0, "delay_show_second": 0, "is_no_thanks": 0,
                                   "thanks_string": "感谢$sender$"})");
    obs_data_t* room = obs_data_create();
    obs_data_set_string(room, "room_name", gifts.c_str());
    obs_source_update(source.get(), room);
    obs_data_release(room);
    FrameGrabber grabber;
    source.Show();
    FrameGrabber::Frame frame;
    const bool red = WaitFor([&] { return ExtentOf(frame = grabber.Latest(), 50, 30, 210, 70).width > 10; });
    SaveFrame(frame, "obs_module_emoji.png");
    EXPECT_TRUE(red) << "no rose-red pixels in the frame";
    EXPECT_GT(GreenText(frame).width, 100u);
    source.Hide();
}

// The frames OBS reads back while a thanks text stays are the same to the
// byte, frame after frame (its pixels are uploaded once, not every frame);
// a new text of the same size is shown, and the first text again gives the
// very frames it gave before.
TEST(ObsModule, AnUnchangedTextGivesTheSameFramesAndAChangeOfItIsShownExactly) {
    // The logic assembly sends no text of its own (no room, no idle text):
    // the source shows its built-in hint until the test sends the first
    // text, so the frames of that text are told apart by the source's size.
    TestSource source("steady", R"({"font": "WenQuanYi Micro Hei", "fontSize": 32, "color": -16711936,
                                    "outline": 1, "outlineSize": 3, "outlineColor": -16776961,
                                    "show_second": 0, "delay_show_second": 0, "is_no_thanks": 0})");
    FrameGrabber grabber;
    source.Show();
    ASSERT_TRUE(WaitFor([&] { return !source.InnerId().empty(); }));
    const intptr_t window = std::stoll(source.InnerId());
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_width(source.get()) > 32; }));
    const uint32_t hintWidth = obs_source_get_width(source.get());

    // The frames after `frame` until `count` more have come, each the same
    // as `frame`.
    auto stays = [&](const FrameGrabber::Frame& frame, int count) {
        for (int i = 0; i < count; ++i) {
            const uint64_t seen = grabber.Count();
            if (!WaitFor([&] { return grabber.Count() > seen; })) return false;
            if (grabber.Latest().bgra != frame.bgra) return false;
        }
        return true;
    };
    const std::u16string first = u"感谢Alice赠送的1个火箭", second = u"感谢Alice赠送的2个火箭";
    ASSERT_TRUE(SendThanksText(window, first));
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_width(source.get()) != hintWidth; }));
    // OBS's output still brings frames of the hint for a while (longer on a
    // loaded machine), a late frame repeated as it catches up: the first
    // text's frames have its green as wide as the source, within the
    // outline, and are taken once three more have followed unchanged.
    FrameGrabber::Frame one;
    const auto showsFirst = [&](const FrameGrabber::Frame& frame) {
        return std::abs(static_cast<int>(GreenText(frame).width) - static_cast<int>(obs_source_get_width(source.get()))) <= 12;
    };
    ASSERT_TRUE(WaitFor([&] { return showsFirst(one = grabber.Latest()) && stays(one, 3); }));
    EXPECT_TRUE(stays(one, 15));
    SaveFrame(one, "obs_module_steady.png");

    ASSERT_TRUE(SendThanksText(window, second));
    FrameGrabber::Frame two;
    ASSERT_TRUE(WaitFor([&] { return (two = grabber.Latest()).bgra != one.bgra; }));
    ASSERT_TRUE(WaitFor([&] { return stays(two = grabber.Latest(), 1); }));
    SaveFrame(two, "obs_module_steady_changed.png");
    EXPECT_EQ(GreenText(two).width, GreenText(one).width);
    EXPECT_TRUE(stays(two, 5));

    ASSERT_TRUE(SendThanksText(window, first));
    EXPECT_TRUE(WaitFor([&] { return grabber.Latest().bgra == one.bgra; }));
    EXPECT_TRUE(stays(one, 5));
    source.Hide();
}

// A source the frontend never released is destroyed by obs_shutdown after
// the module's unload has stopped the runtime: its destruction must still
// find the core thread (it used to hang on the freed one). Run alone: the
// program's tear-down is the check, and the test's process must end.
TEST(ObsModuleShutDown, ASourceStillAliveAtShutDownIsDestroyedAfterTheModuleUnloads) {
    obs_source_t* source = obs_source_create("morvik_thanks_image", "left for shut-down", nullptr, nullptr);
    ASSERT_NE(source, nullptr);
    obs_set_output_source(0, source);
    EXPECT_TRUE(WaitFor([&] { return !Journal().empty() && Journal().back().rfind("start:", 0) == 0; }));
    obs_set_output_source(0, nullptr);
}

}  // namespace
}  // namespace obs_test

int main(int argc, char** argv) { return obs_test::RunObsTests(argc, argv, 640, 360, "obs_module_journal.txt"); }
