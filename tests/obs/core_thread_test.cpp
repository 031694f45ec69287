// SPDX-License-Identifier: GPL-2.0-or-later
// The module's core thread: a message sent to one of its windows from
// another thread is handled when it arrives, by the thread's OnMessages job,
// without waiting for a frame's tick; a job a caller gave up on before it
// started never runs; a job that throws does not end the thread.

#include "obs/core_thread.h"
#include "platform/message_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

intptr_t Answer(WindowHandle, uint32_t, uintptr_t wParam, intptr_t) { return static_cast<intptr_t>(wParam) + 1; }

WindowHandle CreateWindowOn(CoreThread& core) {
    WindowHandle window = 0;
    EXPECT_TRUE(core.RunWithin("test", [&] { window = CreatePlatformWindow(Answer); }, std::chrono::seconds(10)));
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
    core.RunWithin("test", [&] { DestroyWindow(window); }, std::chrono::seconds(10));
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
    core.Post("test", [&] {
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
    ASSERT_TRUE(core.RunWithin("test", [] {}, std::chrono::seconds(10)));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(handled, 5);

    core.OnMessages(nullptr);
    EXPECT_EQ(PostMessageW(window, WM_USER, 9, 0), 1);
    ASSERT_TRUE(core.RunWithin("test", [] {}, std::chrono::seconds(10)));
    EXPECT_EQ(runs, 1);
    core.RunWithin("test", [&] { DestroyWindow(window); }, std::chrono::seconds(10));
}

// The core held by a job until released, as by an open form.
struct HeldCore {
    std::mutex mutex;
    std::condition_variable released;
    bool held = true;
    void Hold(CoreThread& core) {
        core.Post("hold", [this] {
            std::unique_lock lock(mutex);
            released.wait(lock, [&] { return !held; });
        });
    }
    void Release() {
        {
            std::lock_guard lock(mutex);
            held = false;
        }
        released.notify_all();
    }
};

TEST(CoreThread, AJobNotStartedWhenItsCallerGaveUpNeverRunsAndAThrowingJobEndsNothing) {
    CoreThread core;
    HeldCore held;
    held.Hold(core);
    for (int i = 0; i < 1000 && !core.Busy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(core.Busy());

    std::atomic<int> ran{0};
    EXPECT_EQ(core.TryWithin("given up", [&] { ++ran; }, std::chrono::milliseconds(50)),
              CoreThread::Attempt::Cancelled);
    core.Post("throws", [] { throw std::runtime_error("a fault of the job's own"); });
    core.Post("throws anything", [] { throw 7; });
    held.Release();
    EXPECT_EQ(core.TryWithin("after", [&] { ran += 10; }, std::chrono::seconds(10)), CoreThread::Attempt::Ran);
    EXPECT_EQ(ran, 10);
    EXPECT_FALSE(core.Busy());

    // Started before the caller gave up: it runs to its end.
    std::atomic<bool> ended{false};
    HeldCore slow;
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        slow.Release();
    });
    EXPECT_EQ(core.TryWithin("slow", [&] {
        std::unique_lock lock(slow.mutex);
        slow.released.wait(lock, [&] { return !slow.held; });
        ended = true;
    }, std::chrono::seconds(1)), CoreThread::Attempt::StillRunning);
    release.join();
    ASSERT_TRUE(core.RunWithin("after", [] {}, std::chrono::seconds(10)));
    EXPECT_TRUE(ended);
}

}  // namespace
