// The module's core thread and the logic assembly's messages: a message sent
// to one of its windows from another thread is handled when it arrives, by
// the thread's OnMessages job, without waiting for a frame's tick.

#include "obs/core_thread.h"
#include "platform/message_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

intptr_t Answer(WindowHandle, uint32_t, uintptr_t wParam, intptr_t) { return static_cast<intptr_t>(wParam) + 1; }

WindowHandle CreateWindowOn(CoreThread& core) {
    WindowHandle window = 0;
    EXPECT_TRUE(core.RunWithin([&] { window = CreatePlatformWindow(Answer); }, std::chrono::seconds(10)));
    return window;
}

TEST(CoreThread, AMessageFromAnotherThreadIsHandledByTheOnMessagesJobOnTheCoreThread) {
    CoreThread core;
    std::atomic<bool> onCore{false};
    core.OnMessages([&] {
        onCore = core.IsCurrent();
        PumpMessages();
    });
    const WindowHandle window = CreateWindowOn(core);
    // Nothing else pumps the core's windows here: the answer comes from the
    // job (the limit only keeps a broken build from hanging).
    SendLimits limits;
    limits.timeout = std::chrono::seconds(10);
    intptr_t result = 0;
    EXPECT_EQ(SendMessageLimited(window, WM_USER, 41, 0, limits, &result), SendOutcome::Handled);
    EXPECT_EQ(result, 42);
    EXPECT_TRUE(onCore);
    core.RunWithin([&] { DestroyWindow(window); }, std::chrono::seconds(10));
}

TEST(CoreThread, MessagesThatArriveWhileTheJobWaitsAreHandledByThatOneJob) {
    CoreThread core;
    std::atomic<int> runs{0}, handled{0};
    core.OnMessages([&] {
        ++runs;
        handled += static_cast<int>(PumpMessages());
    });
    const WindowHandle window = CreateWindowOn(core);

    // The core is busy while five messages arrive.
    std::mutex mutex;
    std::condition_variable released;
    bool busy = true;
    core.Post([&] {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return !busy; });
    });
    for (uintptr_t i = 0; i < 5; ++i) EXPECT_EQ(PostMessageW(window, WM_USER, i, 0), 1);
    {
        std::lock_guard lock(mutex);
        busy = false;
    }
    released.notify_all();
    // Queued after the one job the messages asked for, so it has run by now.
    ASSERT_TRUE(core.RunWithin([] {}, std::chrono::seconds(10)));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(handled, 5);

    core.OnMessages(nullptr);
    EXPECT_EQ(PostMessageW(window, WM_USER, 9, 0), 1);
    ASSERT_TRUE(core.RunWithin([] {}, std::chrono::seconds(10)));
    EXPECT_EQ(runs, 1);
    core.RunWithin([&] { DestroyWindow(window); }, std::chrono::seconds(10));
}

}  // namespace
