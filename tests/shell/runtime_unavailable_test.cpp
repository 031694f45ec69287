// SPDX-License-Identifier: GPL-2.0-or-later
// Loading the plug-in where the runtime cannot start: message 127, no class
// registered, no colour control, and an unload that releases nothing.
#include "bridge/runtime_host.h"
#include "host/host_control.h"

#include <gtest/gtest.h>

extern "C" bool LoadPlugin();
extern "C" void UnloadPlugin();

namespace {

TEST(RuntimeUnavailable, LoadFailsWithMessage127AndRegistersNothing) {
    SetLogToStderr(false);
    SetClassLibraryRoot("/nonexistent-mono-root");
    LogCapture log;
    EXPECT_FALSE(LoadPlugin());
    const auto boxes = log.Of(LogKind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].ToUtf8().rfind("错误码127，无法初始化环境", 0), 0u);
    EXPECT_TRUE(RegisteredClasses().empty());
    EXPECT_EQ(ColorControlInitCount(), 0);
    UnloadPlugin();  // after a failed load: nothing to stop
    UnloadPlugin();
    EXPECT_FALSE(RuntimeHostPresent());
}

}  // namespace
