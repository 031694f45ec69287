// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/message_window.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Delivery {
    std::thread::id thread;
    WindowHandle window;
    uint32_t message;
    uintptr_t wParam;
    std::string block;  // the text of a WM_COPYDATA block
};

// Written only by procedures, which run on the test's main thread; read by
// the test after its sender threads have been joined.
std::vector<Delivery> deliveries;
intptr_t sendDuringDestroy = -1;

void Record(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Delivery delivery{std::this_thread::get_id(), window, message, wParam, {}};
    if (message == WM_COPYDATA) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        delivery.block.assign(static_cast<const char*>(data->lpData), data->cbData);
    }
    deliveries.push_back(std::move(delivery));
}

intptr_t RecordingProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Record(window, message, wParam, lParam);
    return static_cast<intptr_t>(wParam * 2 + 1);
}

// Closes itself on WM_CLOSE, and on WM_DESTROY tries to reach itself once more.
intptr_t ClosingProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Record(window, message, wParam, lParam);
    if (message == WM_CLOSE) DestroyWindow(window);
    if (message == WM_DESTROY) sendDuringDestroy = SendMessageW(window, WM_USER, 0, 0);
    return 0;
}

// Message 1 asks its own window for message 2 while it is being handled.
intptr_t ReentrantProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Record(window, message, wParam, lParam);
    if (message == 1) return SendMessageW(window, 2, wParam + 1, 0) + 100;
    return static_cast<intptr_t>(wParam);
}

// Destroys its window when the test is done with it, whatever happened.
class ScopedWindow {
public:
    explicit ScopedWindow(WindowHandle handle) : handle_(handle) {}
    ~ScopedWindow() { DestroyWindow(handle_); }
    ScopedWindow(const ScopedWindow&) = delete;
    ScopedWindow& operator=(const ScopedWindow&) = delete;
    WindowHandle get() const { return handle_; }

private:
    WindowHandle handle_;
};

// Pumps like the host's main loop until `done` holds; gives up (and fails)
// only if that never happens, so a broken queue fails instead of hanging.
void PumpUntil(const std::function<bool()>& done) {
    for (int round = 0; round < 5000 && !done(); ++round) {
        WaitForMessages(std::chrono::milliseconds(10));
        PumpMessages();
    }
    ASSERT_TRUE(done()) << "the awaited messages never arrived";
}

class MessageWindowTest : public testing::Test {
protected:
    void SetUp() override {
        deliveries.clear();
        sendDuringDestroy = -1;
    }
};

using MessageWindowSend = MessageWindowTest;
using MessageWindowPost = MessageWindowTest;
using MessageWindowDestroy = MessageWindowTest;
using MessageWindowHandle = MessageWindowTest;
using MessageWindowModule = MessageWindowTest;

TEST_F(MessageWindowSend, OnTheOwnerThreadCallsTheProcedureAtOnce) {
    ScopedWindow window(CreatePlatformWindow(RecordingProc));
    ASSERT_NE(window.get(), 0);

    EXPECT_EQ(SendMessageW(window.get(), 1100, 5, 0), 11);
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].thread, std::this_thread::get_id());
    EXPECT_EQ(deliveries[0].window, window.get());
    EXPECT_EQ(deliveries[0].message, 1100u);
    EXPECT_EQ(PumpMessages(), 0u);
}

TEST_F(MessageWindowSend, AProcedureMaySendToItsOwnWindow) {
    ScopedWindow window(CreatePlatformWindow(ReentrantProc));
    std::thread sender([&] { EXPECT_EQ(SendMessageW(window.get(), 1, 40, 0), 141); });
    PumpUntil([&] { return deliveries.size() == 2; });
    sender.join();
    EXPECT_EQ(deliveries[1].message, 2u);
    EXPECT_EQ(deliveries[1].thread, std::this_thread::get_id());
}

TEST_F(MessageWindowSend, FromAnotherThreadArrivesOnTheOwnerThreadInOrder) {
    ScopedWindow window(CreatePlatformWindow(RecordingProc));
    constexpr int kCount = 200;
    std::vector<intptr_t> results;
    std::atomic<bool> finished{false};
    std::thread sender([&] {
        for (int i = 0; i < kCount; ++i) results.push_back(SendMessageW(window.get(), 1100, i, 0));
        // The block lives on the sender's stack: it must be read while the sender waits.
        char text[] = "thanks";
        COPYDATASTRUCT data{1, sizeof text, text};
        results.push_back(SendMessageW(window.get(), WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&data)));
        finished = true;
    });
    PumpUntil([&] { return finished.load(); });
    sender.join();

    ASSERT_EQ(deliveries.size(), size_t{kCount + 1});
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(deliveries[i].thread, std::this_thread::get_id());
        EXPECT_EQ(deliveries[i].wParam, uintptr_t(i));
        EXPECT_EQ(results[i], 2 * i + 1);
    }
    EXPECT_EQ(deliveries.back().message, WM_COPYDATA);
    EXPECT_EQ(deliveries.back().block, std::string("thanks", 7));
}

TEST_F(MessageWindowSend, ConcurrentSendersAndPostersLoseNothingAndKeepEachOnesOrder) {
    // Two windows on one thread: a sender's order holds across them too.
    ScopedWindow first(CreatePlatformWindow(RecordingProc));
    ScopedWindow second(CreatePlatformWindow(RecordingProc));
    constexpr int kThreads = 6;
    constexpr int kEach = 300;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                WindowHandle target = i % 2 ? second.get() : first.get();
                uintptr_t tag = (uintptr_t(t) << 20) | uintptr_t(i);
                // Even threads send and wait, odd ones post and go on.
                bool ok = t % 2 == 0 ? SendMessageW(target, 1100, tag, 0) == intptr_t(tag * 2 + 1)
                                     : PostMessageW(target, 1100, tag, 0) == 1;
                if (!ok) ++wrong;
            }
        });
    }
    PumpUntil([&] { return deliveries.size() == size_t{kThreads * kEach}; });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(PumpMessages(), 0u);

    std::vector<int> next(kThreads, 0);
    for (const Delivery& delivery : deliveries) {
        int t = int(delivery.wParam >> 20);
        int i = int(delivery.wParam & 0xFFFFF);
        ASSERT_EQ(i, next[t]) << "sender " << t << " out of order";
        EXPECT_EQ(delivery.window, i % 2 ? second.get() : first.get());
        ++next[t];
    }
}

TEST_F(MessageWindowPost, QueuesUntilThePumpAndRefusesCopyDataAndUnknownWindows) {
    ScopedWindow window(CreatePlatformWindow(RecordingProc));
    EXPECT_EQ(PostMessageW(window.get(), WM_USER + 5, 0, 0), 1);
    EXPECT_TRUE(deliveries.empty());
    char text[] = "abc";
    COPYDATASTRUCT data{1, sizeof text, text};
    EXPECT_EQ(PostMessageW(window.get(), WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&data)), 0);

    EXPECT_EQ(PostMessageW(-123456, WM_USER, 0, 0), 0);  // no such window
    EXPECT_EQ(SendMessageW(-123456, WM_USER, 0, 0), 0);

    EXPECT_EQ(PumpMessages(), 1u);
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].message, WM_USER + 5);
}

// The owner thread hears of each message queued for its windows, from the
// queuing thread, and can pump then; a message its own thread sends runs at
// once and is not announced; a removed notice is not called.
TEST_F(MessageWindowPost, TheOwnerIsNoticedOfEachQueuedMessage) {
    struct Notices {
        std::atomic<int> count{0};
        std::atomic<bool> onOwnerThread{false};
        std::thread::id owner = std::this_thread::get_id();
    } notices;
    SetMessageArrivalNotice(
        [](void* context) {
            auto* heard = static_cast<Notices*>(context);
            if (std::this_thread::get_id() == heard->owner) heard->onOwnerThread = true;
            ++heard->count;
        },
        &notices);
    ScopedWindow window(CreatePlatformWindow(RecordingProc));
    EXPECT_EQ(SendMessageW(window.get(), 1100, 1, 0), 3);
    EXPECT_EQ(notices.count, 0);

    intptr_t answer = 0;
    std::thread sender([&] {
        PostMessageW(window.get(), 1100, 2, 0);
        answer = SendMessageW(window.get(), 1100, 3, 0);
    });
    PumpUntil([&] { return deliveries.size() == 3; });
    sender.join();
    EXPECT_EQ(answer, 7);
    EXPECT_EQ(notices.count, 2);
    EXPECT_FALSE(notices.onOwnerThread);

    SetMessageArrivalNotice(nullptr, &notices);
    std::thread([&] { PostMessageW(window.get(), 1100, 4, 0); }).join();
    EXPECT_EQ(PumpMessages(), 1u);
    EXPECT_EQ(notices.count, 2);
}

TEST_F(MessageWindowDestroy, DropsQueuedMessagesAndReleasesTheBlockedSender) {
    WindowHandle window = CreatePlatformWindow(RecordingProc);
    intptr_t released = -1;
    std::thread sender([&] { released = SendMessageW(window, 1100, 1, 0); });
    ASSERT_TRUE(WaitForMessages(std::chrono::seconds(30)));
    EXPECT_EQ(PostMessageW(window, 1100, 2, 0), 1);

    EXPECT_TRUE(DestroyWindow(window));
    sender.join();
    EXPECT_EQ(released, 0);
    EXPECT_EQ(PumpMessages(), 0u);
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_EQ(deliveries[0].message, WM_DESTROY);

    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(SendMessageW(window, 1100, 3, 0), 0);
    EXPECT_EQ(PostMessageW(window, 1100, 3, 0), 0);
    EXPECT_EQ(deliveries.size(), 1u);
}

TEST_F(MessageWindowDestroy, AProcedureMayDestroyItsOwnWindowOnClose) {
    WindowHandle posted = CreatePlatformWindow(ClosingProc);
    PostMessageW(posted, WM_CLOSE, 0, 0);
    PostMessageW(posted, WM_USER, 0, 0);  // queued behind the close: never handled
    EXPECT_EQ(PumpMessages(), 1u);
    EXPECT_FALSE(IsWindow(posted));
    ASSERT_EQ(deliveries.size(), 2u);
    EXPECT_EQ(deliveries[0].message, WM_CLOSE);
    EXPECT_EQ(deliveries[1].message, WM_DESTROY);
    // Nothing reaches a procedure once its destruction has begun.
    EXPECT_EQ(sendDuringDestroy, 0);

    deliveries.clear();
    WindowHandle sent = CreatePlatformWindow(ClosingProc);
    EXPECT_EQ(SendMessageW(sent, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(sent));
    EXPECT_EQ(deliveries.size(), 2u);
}

TEST_F(MessageWindowDestroy, OnlyTheOwnerThreadMayDestroy) {
    ScopedWindow window(CreatePlatformWindow(RecordingProc));
    bool destroyed = true;
    std::thread([&] { destroyed = DestroyWindow(window.get()); }).join();
    EXPECT_FALSE(destroyed);
    EXPECT_TRUE(IsWindow(window.get()));
    EXPECT_TRUE(deliveries.empty());
}

TEST_F(MessageWindowDestroy, WindowsOfAnEndedThreadGoWithIt) {
    WindowHandle orphan = 0;
    std::thread([&] { orphan = CreatePlatformWindow(RecordingProc); }).join();
    ASSERT_NE(orphan, 0);
    EXPECT_FALSE(IsWindow(orphan));
    EXPECT_EQ(SendMessageW(orphan, 1100, 1, 0), 0);  // returns instead of waiting forever
}

TEST_F(MessageWindowHandle, DefaultHandlesArePositiveAndDistinct) {
    ScopedWindow a(CreatePlatformWindow(RecordingProc));
    ScopedWindow b(CreatePlatformWindow(RecordingProc));
    EXPECT_GT(a.get(), 0);
    EXPECT_LE(b.get(), INT32_MAX);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(CreatePlatformWindow(nullptr), 0);
}

TEST_F(MessageWindowHandle, TheNumberSignExtendedFindsAWindowWithBit31Set) {
    const WindowHandle handle = 0x7'8000'0001;
    const int32_t number = -2147483647;  // the low 32 bits read as signed
    ScopedWindow window(CreatePlatformWindowWithHandle(RecordingProc, handle));
    ASSERT_EQ(window.get(), handle);

    // What a C# caller passes: new IntPtr(number), sign-extended.
    EXPECT_EQ(SendMessageW(intptr_t{number}, 1100, 1, 0), 3);
    EXPECT_EQ(PostMessageW(intptr_t{number}, 1100, 2, 0), 1);
    EXPECT_EQ(PumpMessages(), 1u);
    ASSERT_EQ(deliveries.size(), 2u);
    EXPECT_EQ(deliveries[0].window, handle);  // the procedure sees the handle it was created with
    EXPECT_TRUE(IsWindow(handle));

    // Numbers are unique: another handle with the same low 32 bits is refused,
    // and so is one whose number is 0.
    EXPECT_EQ(CreatePlatformWindowWithHandle(RecordingProc, 0x8000'0001), 0);
    EXPECT_EQ(CreatePlatformWindowWithHandle(RecordingProc, 0x1'0000'0000), 0);

    ScopedWindow minusOne(CreatePlatformWindowWithHandle(RecordingProc, 0xFFFF'FFFF));
    EXPECT_EQ(SendMessageW(-1, 1100, 4, 0), 9);
}

// The test module, loaded as a plug-in would be.
struct TestModule {
    void* library = dlopen(PLATFORM_TEST_MODULE, RTLD_NOW | RTLD_LOCAL);
    template <typename Function>
    Function* Get(const char* name) const {
        return reinterpret_cast<Function*>(dlsym(library, name));
    }
};

TEST_F(MessageWindowModule, DestroyingAModulesWindowsLeavesNothingToCallIntoIt) {
    TestModule module;
    ASSERT_NE(module.library, nullptr) << dlerror();
    auto* createModuleWindow = module.Get<WindowHandle()>("CreateModuleWindow");
    auto* moduleCalls = module.Get<int()>("ModuleCalls");
    auto* moduleDestroys = module.Get<int()>("ModuleDestroys");
    const int callsBefore = moduleCalls();

    WindowHandle inModule = createModuleWindow();
    ScopedWindow outside(CreatePlatformWindow(RecordingProc));
    EXPECT_EQ(PostMessageW(inModule, WM_USER, 0, 0), 1);

    EXPECT_EQ(DestroyWindowsOfModule(reinterpret_cast<const void*>(createModuleWindow)), 1u);
    EXPECT_EQ(moduleDestroys(), 1);
    EXPECT_EQ(moduleCalls(), callsBefore + 1);  // WM_DESTROY and nothing else
    EXPECT_TRUE(IsWindow(outside.get()));
    ASSERT_EQ(dlclose(module.library), 0);

    // Any call into the unloaded procedure would crash here.
    EXPECT_EQ(PumpMessages(), 0u);
    EXPECT_EQ(SendMessageW(inModule, WM_USER, 0, 0), 0);
    EXPECT_EQ(PostMessageW(inModule, WM_USER, 0, 0), 0);
    EXPECT_EQ(DestroyWindowsOfModule(nullptr), 0u);
}

TEST_F(MessageWindowModule, AnotherThreadsUnloadRemovesTheWindowsWithoutTheirProcedure) {
    TestModule module;
    ASSERT_NE(module.library, nullptr) << dlerror();
    auto* createModuleWindow = module.Get<WindowHandle()>("CreateModuleWindow");
    auto* moduleCalls = module.Get<int()>("ModuleCalls");
    const int callsBefore = moduleCalls();

    WindowHandle inModule = createModuleWindow();
    intptr_t released = -1;
    std::thread sender([&] { released = SendMessageW(inModule, WM_USER, 0, 0); });
    ASSERT_TRUE(WaitForMessages(std::chrono::seconds(30)));

    size_t destroyed = 0;
    std::thread([&] { destroyed = DestroyWindowsOfModule(reinterpret_cast<const void*>(createModuleWindow)); }).join();
    sender.join();
    EXPECT_EQ(destroyed, 1u);
    EXPECT_EQ(released, 0);
    EXPECT_EQ(PumpMessages(), 0u);
    EXPECT_EQ(moduleCalls(), callsBefore);  // its procedure must not run on a foreign thread
    EXPECT_FALSE(IsWindow(inModule));
    dlclose(module.library);
}

}  // namespace
