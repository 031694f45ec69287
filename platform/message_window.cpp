// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/message_window.h"

#include "platform/race_detector.h"

#include <dlfcn.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

// One lock guards everything below: the window table, every thread's queue and
// the state of every window. Procedures always run with it released.

struct OwnerThread;

struct Window {
    WindowHandle handle = 0;
    WindowProc procedure = nullptr;
    const void* moduleBase = nullptr;  // load address of the module holding the procedure
    std::shared_ptr<OwnerThread> owner;
    bool live = true;       // false from the start of its destruction on
    int activeCalls = 0;    // calls into the procedure now running on the owner thread
};

using Clock = std::chrono::steady_clock;

// A sender blocked in a send, waiting for the owner thread to answer. It lives
// on the sender's stack: its queued message is withdrawn before it returns.
struct BlockedSender {
    std::condition_variable answered;
    bool done = false;
    bool handled = false;  // done because the procedure ran, not because the window went
    intptr_t result = 0;
};

struct QueuedMessage {
    std::shared_ptr<Window> window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    BlockedSender* sender;  // null for a posted message
    uint64_t sequence;
};

struct OwnerThread {
    std::thread::id id;
    uint32_t systemId = 0;  // gettid
    std::deque<QueuedMessage> queue;
    std::condition_variable arrived;
    Clock::time_point lastPumped = Clock::now();
    int waiting = 0;  // WaitForMessages calls in progress
    void (*notify)(void*) = nullptr;  // SetMessageArrivalNotice's
    void* notifyContext = nullptr;

    bool Hung() const { return waiting == 0 && Clock::now() - lastPumped > kOwnerHungAfter; }
};

struct State {
    std::mutex lock;
    std::unordered_map<int32_t, std::shared_ptr<Window>> windows;  // by window number
    std::condition_variable callsReturned;  // a removed window's last active call returned
    uint64_t nextSequence = 1;
    int32_t nextNumber = 0x10000;
};

State& Global() {
    static State state;
    return state;
}

int32_t NumberOf(intptr_t window) { return static_cast<int32_t>(static_cast<uint32_t>(window)); }

void Answer(QueuedMessage& queued, intptr_t result) {
    if (queued.sender) {
        queued.sender->result = result;
        queued.sender->handled = true;
        queued.sender->done = true;
        queued.sender->answered.notify_one();
    }
}

// The message will never be handled: its window is gone.
void Abandon(QueuedMessage& queued) {
    if (queued.sender) {
        queued.sender->done = true;
        queued.sender->answered.notify_one();
    }
}

// Takes the window out of the table and its queued messages out of its owner's
// queue, releasing their senders unanswered. Called with the lock held.
void Remove(State& state, const std::shared_ptr<Window>& window) {
    window->live = false;
    auto found = state.windows.find(NumberOf(window->handle));
    if (found != state.windows.end() && found->second == window) state.windows.erase(found);
    auto& queue = window->owner->queue;
    for (auto it = queue.begin(); it != queue.end();) {
        if (it->window == window) {
            Abandon(*it);
            it = queue.erase(it);
        } else {
            ++it;
        }
    }
}

// Runs the procedure with the lock released; the window's active-call count
// lets a removal from another thread wait until the call has returned.
intptr_t Call(State& state, std::unique_lock<std::mutex>& held, const std::shared_ptr<Window>& window, uint32_t message,
              uintptr_t wParam, intptr_t lParam) {
    ++window->activeCalls;
    held.unlock();
    const NativeCodeRegion native;  // also when the sender was managed code
    intptr_t result = window->procedure(window->handle, message, wParam, lParam);
    held.lock();
    if (--window->activeCalls == 0 && !window->live) state.callsReturned.notify_all();
    return result;
}

const void* ModuleBaseOf(const void* address) {
    Dl_info info{};
    if (!address || dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}

// The calling thread's record as a window owner. A thread that ends with
// windows still alive takes them with it, so that nobody stays blocked on a
// queue no thread will ever pump.
class ThreadWindows {
public:
    ~ThreadWindows() {
        if (!owner_) return;
        State& state = Global();
        std::lock_guard held(state.lock);
        std::vector<std::shared_ptr<Window>> owned;
        for (auto& [number, window] : state.windows)
            if (window->owner == owner_) owned.push_back(window);
        for (auto& window : owned) Remove(state, window);
    }

    // Called with the lock held.
    const std::shared_ptr<OwnerThread>& Owner() {
        if (!owner_) {
            owner_ = std::make_shared<OwnerThread>();
            owner_->id = std::this_thread::get_id();
            owner_->systemId = static_cast<uint32_t>(gettid());
        }
        return owner_;
    }

    // The record if this thread has ever owned a window, else null.
    OwnerThread* Existing() const { return owner_.get(); }

private:
    std::shared_ptr<OwnerThread> owner_;
};

thread_local ThreadWindows thisThread;

WindowHandle Create(WindowProc procedure, WindowHandle chosen) {
    if (!procedure) return 0;
    const void* moduleBase = ModuleBaseOf(reinterpret_cast<const void*>(procedure));
    State& state = Global();
    std::lock_guard held(state.lock);
    WindowHandle handle = chosen;
    if (handle == 0) {
        // Numbers below 2^31, skipping any still taken after wrapping round.
        do {
            handle = state.nextNumber;
            state.nextNumber = state.nextNumber == INT32_MAX ? 0x10000 : state.nextNumber + 1;
        } while (state.windows.contains(NumberOf(handle)));
    } else if (NumberOf(handle) == 0 || state.windows.contains(NumberOf(handle))) {
        return 0;
    }
    auto window = std::make_shared<Window>();
    window->handle = handle;
    window->procedure = procedure;
    window->moduleBase = moduleBase;
    window->owner = thisThread.Owner();
    state.windows.emplace(NumberOf(handle), std::move(window));
    return handle;
}

// The live window with this number, or null. Called with the lock held.
std::shared_ptr<Window> Find(State& state, intptr_t window) {
    auto found = state.windows.find(NumberOf(window));
    if (found == state.windows.end() || !found->second->live) return nullptr;
    return found->second;
}

void Enqueue(State& state, const std::shared_ptr<Window>& window, uint32_t message, uintptr_t wParam, intptr_t lParam,
             BlockedSender* sender) {
    OwnerThread& owner = *window->owner;
    owner.queue.push_back(QueuedMessage{window, message, wParam, lParam, sender, state.nextSequence++});
    owner.arrived.notify_all();
    if (owner.notify) owner.notify(owner.notifyContext);
}

// Takes a sender's message back out of its owner's queue; false when the
// owner has already taken it. Called with the lock held.
bool Withdraw(OwnerThread& owner, const BlockedSender& sender) {
    for (auto it = owner.queue.begin(); it != owner.queue.end(); ++it) {
        if (it->sender == &sender) {
            owner.queue.erase(it);
            return true;
        }
    }
    return false;
}

bool DestroyOnOwnerThread(State& state, std::unique_lock<std::mutex>& held, const std::shared_ptr<Window>& window) {
    // The window stops taking messages before WM_DESTROY runs, so the
    // procedure sees nothing after it, not even what it sends itself meanwhile.
    Remove(state, window);
    Call(state, held, window, WM_DESTROY, 0, 0);
    return true;
}

}  // namespace

SendOutcome SendMessageLimited(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam,
                               const SendLimits& limits, intptr_t* result) {
    const NativeCodeRegion native;
    State& state = Global();
    std::unique_lock held(state.lock);
    std::shared_ptr<Window> target = Find(state, window);
    if (!target) return SendOutcome::NoWindow;
    if (target->owner->id == std::this_thread::get_id()) {
        intptr_t answer = Call(state, held, target, message, wParam, lParam);
        if (result) *result = answer;
        return SendOutcome::Handled;
    }
    std::shared_ptr<OwnerThread> owner = target->owner;
    if (limits.abortIfOwnerHung && owner->Hung()) return SendOutcome::OwnerHung;
    BlockedSender sender;
    Enqueue(state, target, message, wParam, lParam, &sender);
    target.reset();
    const bool bounded = limits.timeout != std::chrono::milliseconds::max();
    bool waitedOut = false;
    while (!sender.done) {
        if (!bounded) {
            sender.answered.wait(held);
            continue;
        }
        if (sender.answered.wait_for(held, limits.timeout, [&] { return sender.done; })) break;
        if (limits.noTimeoutUnlessOwnerHung && !owner->Hung()) continue;
        waitedOut = true;
        break;
    }
    if (waitedOut) {
        if (Withdraw(*owner, sender)) return SendOutcome::TimedOut;
        // Taken already: the procedure may be reading the sender's memory.
        sender.answered.wait(held, [&] { return sender.done; });
    }
    if (!sender.handled) return SendOutcome::WindowGone;
    if (result) *result = sender.result;
    return SendOutcome::Handled;
}

extern "C" MORVIK_PLATFORM_API intptr_t SendMessageW(intptr_t window, uint32_t message, uintptr_t wParam,
                                                     intptr_t lParam) {
    intptr_t result = 0;
    SendMessageLimited(window, message, wParam, lParam, SendLimits{}, &result);
    return result;
}

extern "C" MORVIK_PLATFORM_API int32_t PostMessageW(intptr_t window, uint32_t message, uintptr_t wParam,
                                                    intptr_t lParam) {
    const NativeCodeRegion native;
    if (message == WM_COPYDATA) return 0;
    State& state = Global();
    std::lock_guard held(state.lock);
    std::shared_ptr<Window> target = Find(state, window);
    if (!target) return 0;
    Enqueue(state, target, message, wParam, lParam, nullptr);
    return 1;
}

bool SendMessageNoWait(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    const NativeCodeRegion native;
    {
        State& state = Global();
        std::unique_lock held(state.lock);
        std::shared_ptr<Window> target = Find(state, window);
        if (!target) return false;
        if (target->owner->id == std::this_thread::get_id()) {
            Call(state, held, target, message, wParam, lParam);
            return true;
        }
    }
    return PostMessageW(window, message, wParam, lParam) != 0;
}

uint32_t WindowOwnerThreadId(intptr_t window) {
    const NativeCodeRegion native;
    State& state = Global();
    std::lock_guard held(state.lock);
    std::shared_ptr<Window> target = Find(state, window);
    return target ? target->owner->systemId : 0;
}

WindowHandle CreatePlatformWindow(WindowProc procedure) { return Create(procedure, 0); }

WindowHandle CreatePlatformWindowWithHandle(WindowProc procedure, WindowHandle handle) {
    return handle == 0 ? 0 : Create(procedure, handle);
}

extern "C" MORVIK_PLATFORM_API int32_t IsWindow(intptr_t window) {
    const NativeCodeRegion native;
    State& state = Global();
    std::lock_guard held(state.lock);
    return Find(state, window) != nullptr ? 1 : 0;
}

bool DestroyWindow(WindowHandle window) {
    State& state = Global();
    std::unique_lock held(state.lock);
    std::shared_ptr<Window> target = Find(state, window);
    if (!target || target->owner->id != std::this_thread::get_id()) return false;
    return DestroyOnOwnerThread(state, held, target);
}

size_t DestroyWindowsOfModule(const void* addressInModule) {
    const void* moduleBase = ModuleBaseOf(addressInModule);
    if (!moduleBase) return 0;
    State& state = Global();
    std::unique_lock held(state.lock);
    std::vector<std::shared_ptr<Window>> doomed;
    for (auto& [number, window] : state.windows)
        if (window->live && window->moduleBase == moduleBase) doomed.push_back(window);
    size_t destroyed = 0;
    for (auto& window : doomed) {
        // A WM_DESTROY handled earlier in this loop may have destroyed others.
        if (!window->live) continue;
        ++destroyed;
        if (window->owner->id == std::this_thread::get_id()) {
            DestroyOnOwnerThread(state, held, window);
        } else {
            Remove(state, window);
            state.callsReturned.wait(held, [&] { return window->activeCalls == 0; });
        }
    }
    return destroyed;
}

size_t PumpMessages() {
    State& state = Global();
    std::unique_lock held(state.lock);
    OwnerThread* owner = thisThread.Existing();
    if (!owner) return 0;
    owner->lastPumped = Clock::now();
    if (owner->queue.empty()) return 0;
    const uint64_t last = owner->queue.back().sequence;
    size_t handled = 0;
    while (!owner->queue.empty() && owner->queue.front().sequence <= last) {
        QueuedMessage next = std::move(owner->queue.front());
        owner->queue.pop_front();
        // Queued messages of a removed window are dropped with it, so the
        // window of every message still queued is live.
        intptr_t result = Call(state, held, next.window, next.message, next.wParam, next.lParam);
        Answer(next, result);
        ++handled;
    }
    owner->lastPumped = Clock::now();
    return handled;
}

void SetMessageArrivalNotice(void (*notify)(void* context), void* context) {
    State& state = Global();
    std::lock_guard held(state.lock);
    const std::shared_ptr<OwnerThread>& owner = thisThread.Owner();
    owner->notify = notify;
    owner->notifyContext = notify ? context : nullptr;
}

bool WaitForMessages(std::chrono::milliseconds timeout) {
    State& state = Global();
    std::unique_lock held(state.lock);
    OwnerThread* owner = thisThread.Existing();
    if (!owner) return false;
    ++owner->waiting;
    bool arrived = owner->arrived.wait_for(held, timeout, [&] { return !owner->queue.empty(); });
    --owner->waiting;
    owner->lastPumped = Clock::now();
    return arrived;
}
