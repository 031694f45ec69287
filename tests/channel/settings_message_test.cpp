// SPDX-License-Identifier: GPL-2.0-or-later
#include "bridge/runtime_host.h"
#include "bridge/settings_message.h"
#include "host/scene_document.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsMessage, DefaultsForAnEmptyElementToTheCharacter) {
    SceneDocument scene;
    XElement* settings = scene.Root()->CreateElement(u"data");
    const String message = ComposeSettingsMessage(settings, 1234);
    EXPECT_EQ(message.ToUtf8(),
              "Set:1234{|}宋体{|}-28672{|}56{|}100{|}-16777216{|}0{|}0{|}0{|}0{|}0{|}0{|}0{|}100{|}-8355712{|}2{|}{|}"
              "感谢$sender$赠送的$num$个$gift$ $combo${|}o(∩_∩)o 送礼物上电视啦o(∩_∩)o {|}10{|}10{|}1{|}0{|}0{|}{|}1{|}5{|}1{|}1{|}"
              "3{|}10");
}

// The blocked words are the drawing's own: the logic assembly is told the
// settings as before.
TEST(SettingsMessage, BlockedWordsAreNotSent) {
    SceneDocument scene;
    XElement* settings = scene.Root()->CreateElement(u"data");
    const String without = ComposeSettingsMessage(settings, 7);
    settings->SetString(u"blocked_words", u"bad\n傻瓜");
    EXPECT_TRUE(ComposeSettingsMessage(settings, 7) == without);
}

TEST(SettingsMessage, StoredValuesGoThroughUnescapedWithTheWindowNumber) {
    SceneDocument scene;
    XElement* settings = scene.Root()->CreateElement(u"data");
    settings->SetString(u"room_name", u"a{|}b");
    settings->SetInt(u"fontSize", -5);
    settings->SetString(u"outlineSize", u"2.5");  // a fraction stored as text reads as its integer part
    const std::string message = ComposeSettingsMessage(settings, static_cast<WindowHandle>(0x80000005)).ToUtf8();
    EXPECT_EQ(message.rfind("Set:-2147483643{|}", 0), 0u) << message;
    EXPECT_NE(message.find("{|}-5{|}"), std::string::npos);
    EXPECT_NE(message.find("{|}2{|}a{|}b{|}"), std::string::npos);
}

TEST(SettingsMessage, AsciiModeFollowsTheSettingEvenWithoutARuntime) {
    ASSERT_FALSE(RuntimeHostPresent());
    SceneDocument scene;
    XElement* settings = scene.Root()->CreateElement(u"data");
    asciiMode = 7;
    BuildSettingsMessage(nullptr, 1);
    EXPECT_EQ(asciiMode, 7);  // no element: nothing changes
    BuildSettingsMessage(settings, 1);
    EXPECT_EQ(asciiMode, 0);
    settings->SetInt(u"usingASCII", 2);
    BuildSettingsMessage(settings, 1);
    EXPECT_EQ(asciiMode, 2);  // kept as read; only 1 means ASCII
    asciiMode = 0;
}

}  // namespace
