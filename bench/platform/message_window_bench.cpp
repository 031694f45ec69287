// SPDX-License-Identifier: GPL-2.0-or-later
// Inbound message throughput and latency: WM_COPYDATA command-1 messages
// handled on the owner thread directly, through the queue from other threads,
// and how long a cross-thread message waits for the owner's pump; also the
// conversion of an ASCII-mode block.
#include "platform/ansi_text.h"
#include "platform/message_window.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// What the channel's procedure does with command 1: copy the UTF-16 text out
// of the block. The text lands in a per-thread buffer so the copy is not
// optimised away.
intptr_t ShowTextProc(WindowHandle, uint32_t message, uintptr_t, intptr_t lParam) {
    thread_local std::u16string text;
    if (message == WM_COPYDATA) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        text.assign(static_cast<const char16_t*>(data->lpData), data->cbData / 2 - 1);
        benchmark::DoNotOptimize(text.data());
    }
    return 0;
}

const char16_t kThanks[] = u"感谢观众甲赠送的3个小花 x3";

COPYDATASTRUCT ShowText() {
    return COPYDATASTRUCT{1, sizeof kThanks, const_cast<char16_t*>(kThanks)};
}

// A thread that owns one window and pumps it, either as fast as messages come
// or once a frame as the host does.
class PumpingThread {
public:
    PumpingThread(WindowProc procedure, Clock::duration frame) {
        thread_ = std::thread([this, procedure, frame] {
            WindowHandle window = CreatePlatformWindow(procedure);
            window_.store(window);
            Clock::time_point next = Clock::now();
            while (!stop_.load()) {
                if (frame == Clock::duration::zero()) {
                    WaitForMessages(std::chrono::milliseconds(50));
                } else {
                    next += frame;
                    std::this_thread::sleep_until(next);
                }
                pumps_.fetch_add(1);
                PumpMessages();
            }
            DestroyWindow(window);
        });
        while (window_.load() == 0) std::this_thread::yield();
    }
    ~PumpingThread() {
        stop_.store(true);
        thread_.join();
    }
    WindowHandle Window() const { return window_.load(); }
    uint64_t Pumps() const { return pumps_.load(); }

private:
    std::atomic<WindowHandle> window_{0};
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> pumps_{0};
    std::thread thread_;
};

void BM_CopyDataOnOwnerThread(benchmark::State& state) {
    WindowHandle window = CreatePlatformWindow(ShowTextProc);
    COPYDATASTRUCT data = ShowText();
    for (auto _ : state) SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&data));
    DestroyWindow(window);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CopyDataOnOwnerThread);

// Senders on other threads, each waiting for its message to be handled before
// sending the next, against an owner that pumps whenever messages are queued.
std::unique_ptr<PumpingThread> sharedOwner;

void BM_CopyDataFromOtherThreads(benchmark::State& state) {
    if (state.thread_index() == 0) sharedOwner = std::make_unique<PumpingThread>(ShowTextProc, Clock::duration::zero());
    COPYDATASTRUCT data = ShowText();
    for (auto _ : state) SendMessageW(sharedOwner->Window(), WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&data));
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) sharedOwner.reset();
}
BENCHMARK(BM_CopyDataFromOtherThreads)->Threads(1)->Threads(4)->UseRealTime();

// Latency from a cross-thread SendMessageW to the procedure handling it.
std::atomic<int64_t> handledAt{0};
std::atomic<uint64_t> pumpsAtHandling{0};
PumpingThread* latencyOwner = nullptr;

intptr_t StampingProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == WM_COPYDATA) {
        handledAt.store(Clock::now().time_since_epoch().count());
        pumpsAtHandling.store(latencyOwner->Pumps());
    }
    return ShowTextProc(window, message, wParam, lParam);
}

void MeasureLatency(benchmark::State& state, Clock::duration frame) {
    PumpingThread owner(StampingProc, frame);
    latencyOwner = &owner;
    COPYDATASTRUCT data = ShowText();
    double worst = 0;
    uint64_t mostPumpsWaited = 0;
    int round = 0;
    for (auto _ : state) {
        // Send at varying points of the frame, not right after the last pump.
        if (frame != Clock::duration::zero()) std::this_thread::sleep_for(frame * (round++ % 7) / 7);
        uint64_t pumpsBefore = owner.Pumps();
        auto sent = Clock::now();
        SendMessageW(owner.Window(), WM_COPYDATA, 0, reinterpret_cast<intptr_t>(&data));
        double seconds = std::chrono::duration<double>(Clock::duration(handledAt.load()) - sent.time_since_epoch()).count();
        state.SetIterationTime(seconds);
        worst = std::max(worst, seconds);
        mostPumpsWaited = std::max(mostPumpsWaited, pumpsAtHandling.load() - pumpsBefore);
    }
    state.counters["worst_ms"] = worst * 1e3;
    state.counters["most_pumps_waited"] = double(mostPumpsWaited);
    latencyOwner = nullptr;
}

void BM_CrossThreadLatencyPumpOnArrival(benchmark::State& state) { MeasureLatency(state, Clock::duration::zero()); }
BENCHMARK(BM_CrossThreadLatencyPumpOnArrival)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_CrossThreadLatencyPumpEveryFrame(benchmark::State& state) {
    MeasureLatency(state, std::chrono::microseconds(16667));
}
BENCHMARK(BM_CrossThreadLatencyPumpEveryFrame)->UseManualTime()->Iterations(120)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// An ASCII-mode block as the channel converts it: the locale's 8-bit text to UTF-16.
void BM_AnsiBlockToUtf16(benchmark::State& state) {
    const char block[] = "\xE6\x84\x9F\xE8\xB0\xA2 viewer 42 \xE8\xB5\xA0\xE9\x80\x81\xE7\x9A\x84 3 flowers x3";
    for (auto _ : state) benchmark::DoNotOptimize(AnsiToUtf16(block, sizeof block));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AnsiBlockToUtf16);

}  // namespace
