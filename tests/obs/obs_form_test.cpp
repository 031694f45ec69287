// SPDX-License-Identifier: GPL-2.0-or-later
// The logic assembly's form behind the "Settings…" button, and settings that
// change under a running source, against OBS's threads: the button returns
// at once, OBS keeps drawing while the form is open, and no thread sees the
// other's half-made settings.

#include "tests/desktop/desktop_driver.h"
#include "tests/desktop/reference_form.h"
#include "tests/obs/obs_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace obs_test {
namespace {

using Clock = std::chrono::steady_clock;

// How long a form may take to open, or to close once cancelled: the runtime
// starts its Windows Forms on first use, which a loaded machine makes slow;
// only a form that never comes reaches this.
constexpr std::chrono::seconds kFormBound{120};

// Frames output over `span`, while the UI tasks run as OBS's main loop runs them.
uint64_t FramesDuring(FrameGrabber& grabber, std::chrono::milliseconds span) {
    const uint64_t before = grabber.Count();
    WaitFor([] { return false; }, span);
    return grabber.Count() - before;
}

TEST(ObsForm, TheButtonReturnsAtOnceAndOBSGoesOnWhileTheFormIsOpen) {
    TestSource source("form", R"({"font": "WenQuanYi Micro Hei", "fontSize": 60, "color": -16711936, "outline": 0})");
    FrameGrabber grabber;
    source.Show();
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_height(source.get()) == 60; }));
    const std::string id = source.InnerId();

    const std::string form = OutputPath("obs_form_slow.txt");
    WriteFile(form, "sleep 3\nint fontSize 40\nresult 0\n");
    setenv("TAVREL_FORM", form.c_str(), 1);
    const auto pressed = Clock::now();
    PressConfigure(source.get());
    const auto returnedAfter = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - pressed);
    RecordProperty("button_returned_ms", std::to_string(returnedAfter.count()));
    // Well before the form closes.
    EXPECT_LT(returnedAfter.count(), 1000);

    // A second press while the form is open does nothing.
    ASSERT_TRUE(WaitFor([&] { return JournalCount("ShowForm:" + id) == 1; }));
    PressConfigure(source.get());
    // OBS's settings change meanwhile (as obs-websocket's SetInputSettings
    // does): the update waits for the form on the core thread, OBS's
    // graphics thread does not.
    obs_data_t* colour = obs_data_create();
    obs_data_set_int(colour, "textOpacity", 90);
    obs_source_update(source.get(), colour);
    obs_data_release(colour);
    const uint64_t frames = FramesDuring(grabber, std::chrono::milliseconds(2000));
    RecordProperty("frames_in_2_s_with_the_form_open", std::to_string(frames));
    EXPECT_GT(frames, 30u);

    // Accepted: the size measured for the form's font lands afterwards.
    EXPECT_TRUE(WaitFor([&] { return obs_source_get_height(source.get()) == 40; }));
    EXPECT_EQ(obs_data_get_int(source.settings(), "fontSize"), 40);
    EXPECT_EQ(obs_data_get_int(source.settings(), "textOpacity"), 90);
    EXPECT_EQ(JournalCount("ShowForm:" + id), 1u);
    unsetenv("TAVREL_FORM");

    // Cancelled: what the form pushed is kept, as under any host, but the
    // size is not measured again.
    WriteFile(form, "int fontSize 100\nresult 1\n");
    setenv("TAVREL_FORM", form.c_str(), 1);
    PressConfigure(source.get());
    EXPECT_TRUE(WaitFor([&] { return obs_data_get_int(source.settings(), "fontSize") == 100; }));
    EXPECT_EQ(obs_source_get_height(source.get()), 40u);
    unsetenv("TAVREL_FORM");
    source.Hide();
}

// Without a form script, the button opens the reference assembly's real
// form on OBS's display; OBS draws on while it is open, and what the user
// types lands in the source when OK is clicked.
TEST(ObsForm, TheRealFormOpensOnTheDisplayAndWhatTheUserTypesLandsOnOk) {
    using namespace reference_form;
    TestSource source("real-form", R"({"font": "WenQuanYi Micro Hei", "fontSize": 60, "outline": 0})");
    FrameGrabber grabber;
    source.Show();
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_height(source.get()) == 60; }));
    unsetenv("TAVREL_FORM");
    PressConfigure(source.get());
    const XWindowId form = WaitForWindowTitled(kTitle, kFormBound);
    ASSERT_NE(form, 0u) << "the settings form never appeared";
    EXPECT_EQ(ScreenshotPng(OutputPath("obs_real_form.png")), "");
    const uint64_t frames = FramesDuring(grabber, std::chrono::milliseconds(1000));
    RecordProperty("frames_in_1_s_with_the_real_form_open", std::to_string(frames));
    EXPECT_GT(frames, 15u);

    ASSERT_TRUE(ClickInWindow(form, kFieldX, RowY(kFontSizeRow)));
    ASSERT_TRUE(PressKeys({"End", "BackSpace", "BackSpace", "BackSpace"}));
    ASSERT_TRUE(TypeText("40"));
    ASSERT_TRUE(ClickInWindow(form, kOkX, kButtonsY));
    EXPECT_TRUE(WaitFor([&] { return obs_source_get_height(source.get()) == 40; }));
    EXPECT_EQ(obs_data_get_int(source.settings(), "fontSize"), 40);
    EXPECT_FALSE(WindowTitledExists(kTitle));

    // It opens again; Cancel changes nothing.
    PressConfigure(source.get());
    const XWindowId again = WaitForWindowTitled(kTitle, kFormBound);
    ASSERT_NE(again, 0u) << "the settings form did not open a second time";
    ASSERT_TRUE(ClickInWindow(again, kFieldX, RowY(kFontSizeRow)));
    ASSERT_TRUE(TypeText("9"));
    ASSERT_TRUE(ClickInWindow(again, kCancelX, kButtonsY));
    EXPECT_TRUE(WaitFor([&] { return !WindowTitledExists(kTitle); }, kFormBound));
    EXPECT_EQ(obs_data_get_int(source.settings(), "fontSize"), 40);
    EXPECT_EQ(obs_source_get_height(source.get()), 40u);
    source.Hide();
}

// Removed while its real form is open, as when OBS quits: the form is
// closed as Cancel closes it, so the source is let go of at once and the
// core takes the next source's form. Another source removed first, while
// the form held the core, did not wait; that it did not leaves this one
// its own wait.
TEST(ObsForm, ASourceRemovedWhileItsFormIsOpenClosesTheFormAndLetsGoAtOnce) {
    using namespace reference_form;
    auto bystander = std::make_unique<TestSource>("bystander", R"({"fontSize": 30})");
    auto removed = std::make_unique<TestSource>("removed-with-form", R"({"fontSize": 30})");
    removed->Show();
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_height(removed->get()) > 0; }));
    unsetenv("TAVREL_FORM");
    PressConfigure(removed->get());
    ASSERT_NE(WaitForWindowTitled(kTitle, kFormBound), 0u) << "the settings form never appeared";
    bystander.reset();
    ASSERT_TRUE(WaitFor([] { return LogHas("the source \"bystander\" is let go of when the form closes"); }));
    removed->Hide();
    removed.reset();
    EXPECT_TRUE(WaitFor([] { return !WindowTitledExists(kTitle); }, kFormBound));

    TestSource next("after-the-form", R"({"fontSize": 30})");
    next.Show();
    ASSERT_TRUE(WaitFor([&] { return !next.InnerId().empty(); }));
    const std::string form = OutputPath("obs_form_after_removal.txt");
    WriteFile(form, "result 1\n");
    setenv("TAVREL_FORM", form.c_str(), 1);
    PressConfigure(next.get());
    EXPECT_TRUE(WaitFor([&] { return JournalHas("ShowForm:" + next.InnerId()); }, kFormBound));
    unsetenv("TAVREL_FORM");
    EXPECT_FALSE(LogHas("\"removed-with-form\" is let go of when it returns"));
    EXPECT_FALSE(LogHas("could not be closed"));
    next.Hide();
}

// OBS's properties view clears and re-applies a source's settings (Cancel,
// Defaults) on its UI thread while the source runs and its core writes: the
// two never touch one obs_data_t at once (the ThreadSanitizer run checks),
// and the source keeps its channel through every revert.
TEST(ObsForm, PropertiesStyleClearAndApplyLoopsAgainstARunningSourceAreSafe) {
    TestSource source("reverted", R"({"room_name": "demo-loop", "fontSize": 30})");
    source.Show();
    ASSERT_TRUE(WaitFor([&] { return JournalHas("start:" + source.InnerId()); }));
    const std::string id = source.InnerId();
    const size_t initsBefore = JournalCount("init:");
    obs_data_t* old = obs_data_create();
    obs_data_set_string(old, "room_name", "demo-loop");
    obs_data_set_int(old, "fontSize", 30);
    for (int i = 0; i < 200; ++i) {
        obs_data_clear(source.settings());
        obs_data_apply(source.settings(), old);
        obs_data_set_int(source.settings(), "fontSize", 30 + i % 3);
        obs_source_update(source.get(), nullptr);
        obs_source_save(source.get());
        RunUiTasks();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    obs_data_release(old);
    // Still on its one channel: hidden, that channel is stopped.
    source.Hide();
    EXPECT_TRUE(WaitFor([&] { return JournalHas("stop:" + id); }));
    EXPECT_EQ(JournalCount("init:"), initsBefore);
}

}  // namespace
}  // namespace obs_test
