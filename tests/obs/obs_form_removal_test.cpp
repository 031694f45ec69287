// SPDX-License-Identifier: GPL-2.0-or-later
// A source's settings form follows its source: removed while its first form
// is still loading (Windows Forms takes seconds to load the first time), the
// source is let go of at once and its form closed as soon as it shows;
// removing one source leaves another's open form alone; and OBS quitting
// with a form still loading is not held up by it. Each suite runs in a
// process of its own, so that its form is the first of the process, and
// ObsFormShutDown shuts libobs down itself.

#include "tests/desktop/desktop_driver.h"
#include "tests/desktop/reference_form.h"
#include "tests/obs/obs_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace obs_test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace reference_form;

// How long a form may take to open, or to close once cancelled: only a form
// that never comes reaches this.
constexpr std::chrono::seconds kFormBound{120};

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Presses "Settings…" for the real form and returns once the logic assembly
// has been asked to show it: the form is loading from then on.
void StartRealForm(TestSource& source) {
    unsetenv("TAVREL_FORM");
    const size_t before = JournalCount("ShowForm:");
    PressConfigure(source.get());
    ASSERT_TRUE(WaitFor([&] { return JournalCount("ShowForm:") == before + 1; }, kFormBound));
}

// Releases the source `name` and waits for libobs to have destroyed it (its
// own log line says so once the source's destroy callback has returned);
// how long that took.
long long RemoveAndTime(std::unique_ptr<TestSource>& source, const std::string& name) {
    const auto start = Clock::now();
    source.reset();
    EXPECT_TRUE(WaitFor([&] { return LogHas("source '" + name + "' destroyed"); }));
    return MillisecondsSince(start);
}

TEST(ObsFormFollowsItsSource, RemovedWhileItsFirstFormLoadsTheSourceGoesAtOnceAndTheFormIsClosedWhenItShows) {
    auto removed = std::make_unique<TestSource>("removed-while-loading", R"({"fontSize": 30})");
    removed->Show();
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_height(removed->get()) > 0; }));
    StartRealForm(*removed);
    removed->Hide();
    const long long removal = RemoveAndTime(removed, "removed-while-loading");
    RecordProperty("removal_ms", std::to_string(removal));
    std::printf("removed while its form was loading: destroyed in %lld ms\n", removal);
    // The destruction did not wait for the core the form holds: that path
    // alone says so, and the form had not even shown.
    EXPECT_FALSE(LogHas("the settings form of \"removed-while-loading\" has closed"));
    EXPECT_TRUE(LogHas("the settings form of \"removed-while-loading\" was still opening: it is closed as soon as it "
                       "shows"));
    EXPECT_TRUE(LogHas("a settings form holds the logic assembly: the source \"removed-while-loading\" is let go of "
                       "when the form closes"));

    // The form comes, is closed at once, and is taken off the screen.
    const auto waited = Clock::now();
    ASSERT_TRUE(WaitFor([] { return LogHas("the settings form of \"removed-while-loading\" has closed (the source "
                                           "was removed)"); },
                        kFormBound));
    std::printf("its form showed and was closed %lld ms after the removal\n", MillisecondsSince(waited) + removal);
    EXPECT_TRUE(WaitFor([] { return !WindowTitledExists(kTitle); }, std::chrono::seconds(5)));
    EXPECT_FALSE(LogHas("could not be closed"));
    EXPECT_FALSE(LogHas("\"removed-while-loading\" is let go of when it returns"));

    // The core is free: the next source's form runs.
    auto next = std::make_unique<TestSource>("after-the-closed-form", R"({"fontSize": 30})");
    next->Show();
    ASSERT_TRUE(WaitFor([&] { return !next->InnerId().empty(); }));
    const std::string script = OutputPath("obs_form_after_loading_removal.txt");
    WriteFile(script, "result 1\n");
    setenv("TAVREL_FORM", script.c_str(), 1);
    PressConfigure(next->get());
    EXPECT_TRUE(WaitFor([&] { return JournalHas("ShowForm:" + next->InnerId()); }, kFormBound));
    unsetenv("TAVREL_FORM");
    // Its form has returned and the source is gone before the next test:
    // OBS destroys sources on a thread of its own, one after another, and a
    // destruction left waiting for this core would hold up the next test's.
    // (The state comes from the core itself once it is free; a busy core's
    // answer is the last one reported, with its age.)
    EXPECT_TRUE(WaitFor([] { return CallControlProcedure("after-the-closed-form", "state").find("age_ms") ==
                                    std::string::npos; },
                        kFormBound));
    next->Hide();
    RemoveAndTime(next, "after-the-closed-form");
    EXPECT_FALSE(LogHas("the source \"after-the-closed-form\" is let go of"));
}

TEST(ObsFormFollowsItsSource, RemovingASourceLeavesAnotherSourcesOpenFormAloneAndItsOwnQueuedFormNeverOpens) {
    TestSource open("keeps-its-form", R"({"fontSize": 30})");
    auto removed = std::make_unique<TestSource>("removed-with-a-queued-form", R"({"fontSize": 30})");
    open.Show();
    removed->Show();
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_height(open.get()) > 0 && obs_source_get_height(removed->get()) > 0; }));
    StartRealForm(open);
    const XWindowId form = WaitForWindowTitled(kTitle, kFormBound);
    ASSERT_NE(form, 0u) << "the settings form never appeared";

    // The removed source's form waits behind the open one on the core.
    const size_t formsShown = JournalCount("ShowForm:");
    PressConfigure(removed->get());
    removed->Hide();
    const long long removal = RemoveAndTime(removed, "removed-with-a-queued-form");
    RecordProperty("removal_ms", std::to_string(removal));
    std::printf("removed while another source's form was open: destroyed in %lld ms\n", removal);
    // Not held up by the open form: the core it holds is not waited for.
    EXPECT_TRUE(WindowTitledExists(kTitle));
    EXPECT_TRUE(LogHas("a settings form holds the logic assembly: the source \"removed-with-a-queued-form\" is let go "
                       "of when the form closes"));
    EXPECT_TRUE(LogHas("the settings form of \"removed-with-a-queued-form\" had not begun to open: it will not open"));

    // The other source's form stays open for its user.
    WaitFor([] { return false; }, std::chrono::milliseconds(1000));
    EXPECT_TRUE(WindowTitledExists(kTitle));
    ASSERT_TRUE(ClickInWindow(form, kCancelX, kButtonsY));
    EXPECT_TRUE(WaitFor([] { return !WindowTitledExists(kTitle); }, kFormBound));
    // Then the removed source's turn comes, and its form is not shown.
    EXPECT_TRUE(WaitFor(
        [] { return LogHas("the settings form of \"removed-with-a-queued-form\" was not opened (the source was removed)"); },
        kFormBound));
    EXPECT_EQ(JournalCount("ShowForm:"), formsShown);
    EXPECT_FALSE(WindowTitledExists(kTitle));
    open.Hide();
}

// OBS quitting while a source's first form loads, the source still alive
// (a script or another plug-in holds it) so that libobs destroys it after
// the module's unload: the unload closes the form, nobody waits for the
// core it holds, and the form is closed when it shows, with nothing of it
// reaching libobs, which is gone by then.
TEST(ObsFormShutDown, OBSQuitsWithinThreeSecondsWhileAFormIsLoading) {
    obs_source_t* source = obs_source_create("morvik_thanks_image", "quits-while-loading", nullptr, nullptr);
    ASSERT_NE(source, nullptr);
    obs_set_output_source(0, source);
    ASSERT_TRUE(WaitFor([&] { return obs_source_get_height(source) > 0; }));
    unsetenv("TAVREL_FORM");
    PressConfigure(source);
    ASSERT_TRUE(WaitFor([] { return JournalCount("ShowForm:") == 1; }, kFormBound));
    obs_set_output_source(0, nullptr);

    const auto start = Clock::now();
    StopHeadlessObs();
    const long long shutdown = MillisecondsSince(start);
    RecordProperty("shutdown_ms", std::to_string(shutdown));
    std::printf("libobs shut down with a form loading in %lld ms\n", shutdown);
    EXPECT_LT(shutdown, 3000);
    EXPECT_TRUE(LogHas("the settings form of \"quits-while-loading\" was still opening: it is closed as soon as it "
                       "shows"));

    // The core thread, left running, closes the form once it shows.
    EXPECT_TRUE(WaitFor([] { return LogHas("the settings form of \"quits-while-loading\" has closed"); }, kFormBound));
    EXPECT_TRUE(WaitFor([] { return !WindowTitledExists(kTitle); }, std::chrono::seconds(5)));
}

}  // namespace
}  // namespace obs_test
