// SPDX-License-Identifier: GPL-2.0-or-later
// Loading the plug-in with the real runtime: the class it registers, the
// missing-assembly message, and unloading.
#include "bridge/runtime_host.h"
#include "channel/message_window.h"
#include "host/host_control.h"
#include "platform/message_window.h"
#include "shell/startup_messages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

extern "C" bool LoadPlugin();
extern "C" void UnloadPlugin();
extern "C" CTSTR GetPluginName();
extern "C" CTSTR GetPluginDescription();

namespace fs = std::filesystem;

namespace {

class PluginLoad : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogToStderr(false);
        ClearRegisteredClasses();
    }
    void TearDown() override {
        UnloadPlugin();
        ClearRegisteredClasses();
        SetLogToStderr(true);
    }
};

TEST_F(PluginLoad, RegistersTheSourceClassUnderThePluginName) {
    LogCapture log;
    const int colorInits = ColorControlInitCount();
    ASSERT_TRUE(LoadPlugin());
    EXPECT_TRUE(log.Of(LogKind::MessageBox).empty());
    ASSERT_EQ(RegisteredClasses().size(), 1u);
    const ImageSourceClass& registered = RegisteredClasses()[0];
    EXPECT_TRUE(registered.className == GetPluginName());
    EXPECT_TRUE(registered.className == u"Morvik答谢水友插件");
    EXPECT_TRUE(registered.displayName == u"Morvik答谢水友");
    EXPECT_TRUE(String(GetPluginDescription()) == u"Morvik答谢插件");
    EXPECT_NE(registered.create, nullptr);
    EXPECT_NE(registered.configure, nullptr);
    EXPECT_EQ(ColorControlInitCount(), colorInits + 1);
    EXPECT_NE(ColorControlModule(), nullptr);
    EXPECT_TRUE(RuntimeHostPresent());
    UnloadPlugin();
    EXPECT_FALSE(RuntimeHostPresent());
}

TEST_F(PluginLoad, AMissingAssemblyIsReportedAndTheLoadGoesOn) {
    const fs::path here = fs::current_path();
    const fs::path empty = fs::temp_directory_path() / ("morvik-noassembly-" + std::to_string(getpid()));
    fs::create_directories(empty);
    fs::current_path(empty);
    LogCapture log;
    const bool loaded = LoadPlugin();
    fs::current_path(here);
    fs::remove_all(empty);

    EXPECT_TRUE(loaded);
    const auto boxes = log.Of(LogKind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0] == MissingAssemblyMessage());
    EXPECT_EQ(boxes[0].ToUtf8().rfind("错误码126，缺少dll", 0), 0u);
    EXPECT_NE(boxes[0].ToUtf8().find("\r\n如需帮助，可加讨论群：" MORVIK_SUPPORT_GROUP), std::string::npos);
    EXPECT_EQ(RegisteredClasses().size(), 1u);
}

TEST_F(PluginLoad, UnloadingLeavesNoWindowThatCouldCallIntoThePlugin) {
    ASSERT_TRUE(LoadPlugin());
    const WindowHandle window = CreateMessageWindow();
    ASSERT_TRUE(IsWindow(window));
    UnloadPlugin();
    EXPECT_FALSE(IsWindow(window));
}

}  // namespace
