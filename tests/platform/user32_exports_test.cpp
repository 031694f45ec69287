// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/user32_exports.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::atomic<int> handledCount{0};

intptr_t CountingProc(WindowHandle, uint32_t, uintptr_t wParam, intptr_t) {
    ++handledCount;
    return static_cast<intptr_t>(wParam) + 1000;
}

// A thread that owns one window and pumps it only when told to, as a host
// thread busy elsewhere would.
class OwnerThread {
public:
    OwnerThread() : thread_([this] { Run(); }) {
        std::unique_lock held(lock_);
        changed_.wait(held, [&] { return window_ != 0; });
    }
    ~OwnerThread() {
        {
            std::lock_guard held(lock_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    WindowHandle Window() const { return window_; }
    uint32_t SystemId() const { return systemId_; }

    // From now on the owner pumps every `interval`, sleeping in between
    // (not waiting for messages); zero stops the pumping.
    void PumpEvery(std::chrono::milliseconds interval) {
        {
            std::lock_guard held(lock_);
            interval_ = interval;
        }
        changed_.notify_all();
    }

private:
    void Run() {
        {
            std::lock_guard held(lock_);
            window_ = CreatePlatformWindow(CountingProc);
            systemId_ = static_cast<uint32_t>(gettid());
        }
        changed_.notify_all();
        std::unique_lock held(lock_);
        while (!quit_) {
            if (interval_ == 0ms) {
                changed_.wait(held);
                continue;
            }
            auto interval = interval_;
            held.unlock();
            std::this_thread::sleep_for(interval);
            PumpMessages();
            held.lock();
        }
        held.unlock();
        DestroyWindow(window_);
    }

    std::mutex lock_;
    std::condition_variable changed_;
    WindowHandle window_ = 0;
    uint32_t systemId_ = 0;
    std::chrono::milliseconds interval_{0};
    bool quit_ = false;
    std::thread thread_;
};

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class User32Exports : public testing::Test {
protected:
    void SetUp() override { handledCount = 0; }
};

TEST_F(User32Exports, SendMessageTimeoutGivesUpOnAnOwnerThatDoesNotPumpAndWithdrawsTheMessage) {
    OwnerThread owner;
    uintptr_t result = 0xDEAD;
    auto start = Clock::now();
    EXPECT_EQ(SendMessageTimeoutW(owner.Window(), WM_USER, 7, 0, SMTO_NORMAL, 150, &result), 0);
    EXPECT_GE(MillisecondsSince(start), 150.0);
    EXPECT_EQ(result, 0xDEADu) << "a send that timed out must leave the result untouched";

    // When the owner pumps later, the withdrawn message is not handled: its
    // sender, whose stack held the wait, is long gone.
    owner.PumpEvery(5ms);
    uintptr_t later = 0;
    EXPECT_NE(SendMessageTimeoutA(owner.Window(), WM_USER, 8, 0, SMTO_BLOCK, 5000, &later), 0);
    EXPECT_EQ(later, 1008u);
    EXPECT_EQ(handledCount.load(), 1);
}

TEST_F(User32Exports, SendMessageTimeoutAnswersWithTheResultWhenTheOwnerPumps) {
    OwnerThread owner;
    owner.PumpEvery(10ms);
    uintptr_t result = 0;
    EXPECT_NE(SendMessageTimeout(owner.Window(), WM_USER, 41, 0, SMTO_NORMAL, 5000, &result), 0);
    EXPECT_EQ(result, 1041u);

    // On the window's own thread the procedure runs at once, whatever the timeout.
    WindowHandle own = CreatePlatformWindow(CountingProc);
    EXPECT_NE(SendMessageTimeoutW(own, WM_USER, 2, 0, SMTO_NORMAL, 0, &result), 0);
    EXPECT_EQ(result, 1002u);
    DestroyWindow(own);
}

TEST_F(User32Exports, NoTimeoutIfNotHungWaitsForASlowOwnerThatIsNotHung) {
    OwnerThread owner;
    // Slow enough that its next pump cannot fall within the first send's
    // 30 ms, however late this thread gets to send it.
    owner.PumpEvery(1000ms);
    uintptr_t result = 0;
    EXPECT_EQ(SendMessageTimeoutW(owner.Window(), WM_USER, 1, 0, SMTO_NORMAL, 30, &result), 0);
    EXPECT_NE(SendMessageTimeoutW(owner.Window(), WM_USER, 3, 0, SMTO_NOTIMEOUTIFNOTHUNG, 30, &result), 0);
    EXPECT_EQ(result, 1003u);
}

TEST_F(User32Exports, AbortIfHungGivesUpAtOnceOnAnOwnerThatHasNotPumpedForFiveSeconds) {
    OwnerThread owner;
    std::this_thread::sleep_for(kOwnerHungAfter + 200ms);
    uintptr_t result = 0xDEAD;
    auto start = Clock::now();
    EXPECT_EQ(SendMessageTimeoutW(owner.Window(), WM_USER, 1, 0, SMTO_ABORTIFHUNG, 10000, &result), 0);
    EXPECT_LT(MillisecondsSince(start), 5000.0) << "waited for the timeout";
    EXPECT_EQ(result, 0xDEADu);
    // A hung owner is not waited for past the timeout either.
    EXPECT_EQ(SendMessageTimeoutW(owner.Window(), WM_USER, 1, 0, SMTO_NOTIMEOUTIFNOTHUNG, 50, &result), 0);
}

TEST_F(User32Exports, AWindowThatGoesAwayBeforeAnsweringIsNeverReportedAsDelivered) {
    uintptr_t result = 0xDEAD;
    std::atomic<intptr_t> answer{-1};
    WindowHandle window = 0;
    {
        std::mutex lock;
        std::condition_variable created;
        std::thread ownerThread([&] {
            {
                std::lock_guard held(lock);
                window = CreatePlatformWindow(CountingProc);
            }
            created.notify_all();
            std::this_thread::sleep_for(200ms);
            // The thread ends without pumping: its window goes with it.
        });
        {
            std::unique_lock held(lock);
            created.wait(held, [&] { return window != 0; });
        }
        answer = SendMessageTimeoutW(window, WM_USER, 1, 0, SMTO_ERRORONEXIT, 10000, &result);
        ownerThread.join();
    }
    EXPECT_EQ(answer.load(), 0);
    EXPECT_EQ(result, 0xDEADu);
    EXPECT_EQ(handledCount.load(), 0);
    EXPECT_EQ(SendMessageTimeoutW(window, WM_USER, 1, 0, SMTO_NORMAL, 100, &result), 0) << "unknown window";
}

TEST_F(User32Exports, SendNotifyMessageRunsAtOnceOnTheOwnerThreadAndQueuesFromOthers) {
    WindowHandle own = CreatePlatformWindow(CountingProc);
    EXPECT_EQ(SendNotifyMessageW(own, WM_USER, 1, 0), 1);
    EXPECT_EQ(handledCount.load(), 1);

    OwnerThread owner;
    auto start = Clock::now();
    EXPECT_EQ(SendNotifyMessage(owner.Window(), WM_USER, 1, 0), 1);
    EXPECT_LT(MillisecondsSince(start), 5000.0) << "must not wait for an owner that does not pump";
    char text[] = "thanks";
    COPYDATASTRUCT data{1, sizeof text, text};
    EXPECT_EQ(SendNotifyMessageA(owner.Window(), WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&data)), 0)
        << "the block would not outlive the call";
    EXPECT_EQ(SendNotifyMessageW(0x7ABCDEF, WM_USER, 1, 0), 0);
    owner.PumpEvery(5ms);
    for (const auto until = Clock::now() + 60s; handledCount.load() < 2 && Clock::now() < until;)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(handledCount.load(), 2);
    DestroyWindow(own);
}

TEST_F(User32Exports, WindowIdentityAnswersAsWindowsDoesForWindowsOfThisProcess) {
    OwnerThread owner;
    uint32_t process = 0;
    EXPECT_EQ(GetWindowThreadProcessId(owner.Window(), &process), owner.SystemId());
    EXPECT_EQ(process, static_cast<uint32_t>(getpid()));
    EXPECT_EQ(GetWindowThreadProcessId(owner.Window(), nullptr), owner.SystemId());

    uint32_t untouched = 77;
    EXPECT_EQ(GetWindowThreadProcessId(0x7ABCDEF, &untouched), 0u);
    EXPECT_EQ(untouched, 77u);

    EXPECT_EQ(IsWindow(owner.Window()), 1);
    EXPECT_EQ(IsWindow(0x7ABCDEF), 0);
    EXPECT_EQ(FindWindowW(u"Thanks Message-Only-Window", u"Thanks Message-Only-Window"), 0);
    EXPECT_EQ(FindWindowA(nullptr, "Thanks Message-Only-Window"), 0);
    EXPECT_EQ(FindWindowEx(0, 0, nullptr, nullptr), 0);
}

}  // namespace
