// SPDX-License-Identifier: GPL-2.0-or-later
// Without a usable Mono library the runtime cannot start: the design's
// message 128, and a plug-in that goes on without a runtime.
#include "bridge/runtime_host.h"
#include "host/host_control.h"

#include <gtest/gtest.h>

namespace {

const String kMessage128(
    u"错误码128，无法初始化环境，请检查.net framework 4.0 运行环境是否安装。\r\n如果需要帮助，可加讨论群：" MORVIK_SUPPORT_GROUP);

void ExpectFaultWithMessage128()
{
    LogCapture log;
    EXPECT_EQ(StartRuntime(kLogicAssemblyPath), RuntimeStartOutcome::Fault);
    EXPECT_EQ(log.Of(LogKind::MessageBox), std::vector<String>{kMessage128});
    EXPECT_FALSE(RuntimeHostPresent());
    EXPECT_EQ(SendLogicCommand(u"start:1"), 0);
    EXPECT_EQ(LastLogicCallResult(), LogicCallResult::NoRuntime);
    StopRuntime();  // nothing to stop
}

TEST(MissingMono, ALibraryThatCannotBeLoadedGivesMessage128)
{
    SetLogToStderr(false);
    SetRuntimeLibraryName("libmonosgen-missing.so.1");
    ExpectFaultWithMessage128();
    ExpectFaultWithMessage128();  // and again on the next load
}

TEST(MissingMono, ALibraryWithoutTheEmbeddingApiGivesMessage128)
{
    SetLogToStderr(false);
    SetRuntimeLibraryName("libm.so.6");
    ExpectFaultWithMessage128();
}

}  // namespace
