// SPDX-License-Identifier: GPL-2.0-or-later
// Mono present but without the class library of runtime version v4.0.30319:
// Mono itself would end the process, so the host must notice first and show
// the design's message 127. Runs in a process of its own: the final start
// succeeds and the runtime then stays for the life of the process.
#include "bridge/runtime_host.h"
#include "host/host_control.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

const String kMessage127(
    u"错误码127，无法初始化环境，请检查.net framework 4.0 运行环境是否安装。\r\n如需帮助，可加讨论群：" MORVIK_SUPPORT_GROUP);

TEST(MissingClassLibrary, GivesMessage127AndLeavesTheProcessRunning)
{
    SetLogToStderr(false);
    const char* output = std::getenv("MORVIK_TEST_OUTPUT");
    const auto emptyRoot = std::filesystem::path(output ? output : "/tmp") / ("bridge-no-mono-" + std::to_string(getpid()));
    std::filesystem::create_directories(emptyRoot / "mono/4.5");
    SetClassLibraryRoot(emptyRoot.string());

    LogCapture log;
    EXPECT_EQ(StartRuntime(kLogicAssemblyPath), RuntimeStartOutcome::Unavailable);
    EXPECT_EQ(log.Of(LogKind::MessageBox), std::vector<String>{kMessage127});
    EXPECT_FALSE(RuntimeHostPresent());
    EXPECT_EQ(SendLogicCommand(u"start:1"), 0);
    EXPECT_EQ(LastLogicCallResult(), LogicCallResult::NoRuntime);
    StopRuntime();

    // The refused start left Mono untouched: with the class library found,
    // the runtime starts in this same process.
    SetClassLibraryRoot("/usr/lib");
    log.Clear();
    EXPECT_EQ(StartRuntime(kLogicAssemblyPath), RuntimeStartOutcome::Started);
    EXPECT_EQ(SendLogicCommand(u"ShowForm:1"), 1);
    EXPECT_TRUE(log.Lines().empty());
    StopRuntime();
    std::filesystem::remove_all(emptyRoot);
}

}  // namespace
