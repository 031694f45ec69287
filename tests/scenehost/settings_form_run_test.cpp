// SPDX-License-Identifier: GPL-2.0-or-later
// The reference assembly's settings form behind "scenehost configure", on a
// real X display: it opens with the source's values, a user's clicks and
// keys change them, and OK saves exactly those changes; Cancel saves nothing.
#include "tests/desktop/desktop_driver.h"
#include "tests/desktop/reference_form.h"
#include "tests/scenehost/thanks_host.h"
#include "tests/test_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>

using nlohmann::json;
using namespace reference_form;

namespace {

const json kData = {{"room_name", "demo"},
                    {"font", "WenQuanYi Micro Hei"},
                    {"fontSize", 40},
                    {"color", -10496},
                    {"thanks_string", "感谢$sender$"},
                    {"show_second", 3}};

std::string WriteScene(const TempFolder& temp) {
    const json scene = {{"canvas", {{"width", 640}, {"height", 120}}},
                        {"sources", {{"thanks", {{"class", "Morvik答谢水友插件"}, {"x", 0}, {"y", 0}, {"data", kData}}}}}};
    const std::string path = temp.Path() + "/scene.json";
    WriteFile(path, scene.dump());
    return path;
}

class SettingsFormRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (CTest runs it under xvfb-run)";
        output_ = FreshTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        scenehost_ = InstallThanksHost(temp_);
        scene_ = WriteScene(temp_);
    }

    TempFolder temp_;
    std::filesystem::path output_;
    std::string scenehost_, scene_;
};

TEST_F(SettingsFormRun, OkSavesWhatTheUserChangedInTheForm) {
    ChildProcess configure({scenehost_, "configure", scene_, "thanks"});
    const XWindowId form = WaitForWindowTitled(kTitle, kHangBound, [&] { return configure.Running(); });
    ASSERT_NE(form, 0u) << "the form never appeared: " << configure.Wait(1).err;
    EXPECT_EQ(ScreenshotPng((output_ / "form_opened.png").string()), "");

    ASSERT_TRUE(ClickInWindow(form, kFieldX, RowY(kTemplateRow)));
    ASSERT_TRUE(PressKeys({"End"}));
    ASSERT_TRUE(TypeText(" OK"));
    ASSERT_TRUE(ClickInWindow(form, kFieldX, RowY(kFontSizeRow)));
    ASSERT_TRUE(PressKeys({"End", "BackSpace", "BackSpace", "BackSpace"}));
    ASSERT_TRUE(TypeText("72"));
    EXPECT_EQ(ScreenshotPng((output_ / "form_edited.png").string()), "");
    ASSERT_TRUE(ClickInWindow(form, kOkX, kButtonsY));

    const ProcessResult result = configure.Wait(kHangBound.count());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("accepted"), std::string::npos) << result.out;
    EXPECT_FALSE(WindowTitledExists(kTitle));
    const json data = json::parse(ReadFile(scene_))["sources"]["thanks"]["data"];
    EXPECT_EQ(data["fontSize"], 72);
    EXPECT_EQ(data["thanks_string"], "感谢$sender$ OK");
    for (const char* unchanged : {"room_name", "font", "color", "show_second"})
        EXPECT_EQ(data[unchanged], kData[unchanged]) << unchanged;
}

TEST_F(SettingsFormRun, CancelLeavesTheSceneAsItWas) {
    const std::string before = ReadFile(scene_);
    ChildProcess configure({scenehost_, "configure", scene_, "thanks"});
    const XWindowId form = WaitForWindowTitled(kTitle, kHangBound, [&] { return configure.Running(); });
    ASSERT_NE(form, 0u) << "the form never appeared: " << configure.Wait(1).err;
    ASSERT_TRUE(ClickInWindow(form, kFieldX, RowY(kFontSizeRow)));
    ASSERT_TRUE(TypeText("9"));
    ASSERT_TRUE(ClickInWindow(form, kCancelX, kButtonsY));

    const ProcessResult result = configure.Wait(kHangBound.count());
    EXPECT_EQ(result.exitCode, 3) << result.err;
    EXPECT_EQ(ReadFile(scene_), before);
}

}  // namespace
