// SPDX-License-Identifier: GPL-2.0-or-later
// The logic assembly without the streamer's controls that the OBS module's
// tests load, checked in a process of its own: it shares the reference
// assembly's name, so a runtime that has loaded that one would hand it back.
#include "bridge/runtime_host.h"
#include "channel/message_window.h"
#include "host/host_control.h"
#include "platform/message_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::pair<uint64_t, std::string>> received;

intptr_t RecordingWindowProc(WindowHandle, uint32_t message, uintptr_t, intptr_t lParam) {
    if (message == WM_COPYDATA && lParam) {
        const auto& block = *reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        received.emplace_back(block.dwData, DecodeBlock(block, false).ToUtf8());
    }
    return 0;
}

TEST(NoControlsLogic, TakesEveryCommandAndSendsNothingButItsIdleText) {
    SetLogToStderr(false);
    ASSERT_EQ(StartRuntime(LOGIC_NO_CONTROLS_ASSEMBLY), RuntimeStartOutcome::Started);
    const WindowHandle window = CreatePlatformWindow(&RecordingWindowProc);
    const std::string number = std::to_string(static_cast<int32_t>(window));
    for (const std::string command : {"setPlatform:4", "init:", "start:", "test:", "skip:", "pause:", "resume:", "clear:",
                                      "state:", "gifts:", "again:"}) {
        std::string text = command == "setPlatform:4" ? command : command + number;
        if (command == "gifts:") text += R"(|{"sender": "A", "gift": "rose"})";
        if (command == "again:") text += "|1";
        EXPECT_EQ(SendLogicCommand(String(text.c_str())), 0) << text;
        EXPECT_EQ(LastLogicCallResult(), LogicCallResult::Ok) << text;
    }
    PumpMessages();
    // Sent at once while "start:" ran on this thread, which owns the window.
    EXPECT_EQ(received, (std::vector<std::pair<uint64_t, std::string>>{{1, "暂无礼物"}}));
    StopRuntime();
    DestroyWindow(window);
}

}  // namespace
