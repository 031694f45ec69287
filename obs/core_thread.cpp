// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/core_thread.h"

#include "obs/shared_deadline.h"
#include "platform/loaded_library.h"
#include "platform/message_window.h"

#include <util/base.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <deque>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

struct NamedJob {
    const char* name = "";
    std::function<void()> run;
};

struct CoreThread::Queue {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    std::deque<NamedJob> jobs;
    // When the job running now began (steady clock, nanoseconds); 0 while
    // the thread waits for one.
    std::atomic<int64_t> runningSince{0};
    bool stopping = false;
    bool ended = false;
    // Set when the thread is left running at the stop: once the job it is
    // stuck in returns, it runs nothing more.
    bool abandoned = false;
    std::function<void()> onMessages;
    bool messagesJobQueued = false;
};

namespace {

void Loop(const std::shared_ptr<CoreThread::Queue>& queue);

// Keeps the module that holds this code loaded for the rest of the process:
// a thread left running in it must not have its code unmapped under it.
void KeepModuleLoaded() { KeepLibraryLoaded(reinterpret_cast<const void*>(&KeepModuleLoaded)); }

// How much lower than OBS's threads the core thread, and every thread it
// starts (the runtime's own, the logic assembly's), is scheduled: when the
// machine's cores are all busy, a flood of gifts makes the thanks later,
// never OBS's frames.
constexpr int kYieldToVideo = 5;

void YieldToVideo() {
    const auto self = static_cast<id_t>(gettid());
    setpriority(PRIO_PROCESS, self, getpriority(PRIO_PROCESS, self) + kYieldToVideo);
}

}  // namespace

CoreThread::CoreThread()
    : queue_(std::make_shared<Queue>()), thread_([queue = queue_] { Loop(queue); }), id_(thread_.get_id()) {}

CoreThread::~CoreThread() {
    // Behind on jobs that OBS already waited for, the core gets only what is
    // left of that wait's deadline.
    SharedDeadline& deadline = CoreWaitDeadline();
    deadline.Begin(kStopLimit);
    std::unique_lock lock(queue_->mutex);
    queue_->stopping = true;
    queue_->wake.notify_one();
    const bool ended = queue_->finished.wait_for(lock, deadline.Left(), [this] { return queue_->ended; });
    lock.unlock();
    deadline.End();
    if (ended) {
        thread_.join();
        return;
    }
    KeepModuleLoaded();
    {
        std::lock_guard held(queue_->mutex);
        queue_->abandoned = true;
    }
    thread_.detach();
    blog(LOG_WARNING,
         "[morvik-thanks] the logic assembly has not returned; its thread is left running and OBS goes on without it");
}

void CoreThread::Post(const char* name, std::function<void()> job) {
    {
        std::lock_guard lock(queue_->mutex);
        queue_->jobs.push_back({name, std::move(job)});
    }
    queue_->wake.notify_one();
}

void CoreThread::OnMessages(std::function<void()> job) {
    std::lock_guard lock(queue_->mutex);
    queue_->onMessages = std::move(job);
}

bool CoreThread::RunWithin(const char* name, std::function<void()> job, std::chrono::milliseconds limit) {
    if (IsCurrent()) {
        job();
        return true;
    }
    struct Done {
        std::mutex mutex;
        std::condition_variable signal;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    Post(name, [job = std::move(job), done] {
        // Told even when the job throws (the loop logs it).
        struct Tell {
            Done& done;
            ~Tell() {
                std::lock_guard lock(done.mutex);
                done.done = true;
                done.signal.notify_all();
            }
        } tell{*done};
        job();
    });
    std::unique_lock lock(done->mutex);
    return done->signal.wait_for(lock, limit, [&] { return done->done; });
}

CoreThread::Attempt CoreThread::TryWithin(const char* name, std::function<void()> job,
                                          std::chrono::milliseconds limit) {
    enum class Stage { Queued, Started, Ended, Cancelled };
    struct Shared {
        std::mutex mutex;
        std::condition_variable signal;
        Stage stage = Stage::Queued;
    };
    auto shared = std::make_shared<Shared>();
    Post(name, [job = std::move(job), shared] {
        {
            std::lock_guard lock(shared->mutex);
            if (shared->stage == Stage::Cancelled) return;
            shared->stage = Stage::Started;
        }
        struct Tell {
            Shared& shared;
            ~Tell() {
                std::lock_guard lock(shared.mutex);
                shared.stage = Stage::Ended;
                shared.signal.notify_all();
            }
        } tell{*shared};
        job();
    });
    std::unique_lock lock(shared->mutex);
    if (shared->signal.wait_for(lock, limit, [&] { return shared->stage == Stage::Ended; })) return Attempt::Ran;
    if (shared->stage == Stage::Started) return Attempt::StillRunning;
    shared->stage = Stage::Cancelled;
    return Attempt::Cancelled;
}

namespace {

int64_t SteadyNow() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

}  // namespace

bool CoreThread::Busy() const {
    const int64_t since = queue_->runningSince.load(std::memory_order_relaxed);
    return since != 0 && SteadyNow() - since > std::chrono::steady_clock::duration(kBusyAfter).count();
}

namespace {

// A message was queued for one of the thread's windows (on the sender's
// thread, with the message layer's lock held): queues the OnMessages job
// unless one already waits.
void NoticeMessages(void* context) {
    auto& queue = *static_cast<CoreThread::Queue*>(context);
    std::lock_guard lock(queue.mutex);
    if (!queue.onMessages || queue.messagesJobQueued) return;
    queue.messagesJobQueued = true;
    queue.jobs.push_back({"the logic assembly's messages", [&queue] {
        std::function<void()> job;
        {
            std::lock_guard held(queue.mutex);
            queue.messagesJobQueued = false;
            job = queue.onMessages;
        }
        if (job) job();
    }});
    queue.wake.notify_one();
}

// Runs one job; what it throws is logged and goes no further: an exception
// leaving this thread would end OBS.
void Run(CoreThread::Queue& queue, NamedJob& job) {
    queue.runningSince.store(SteadyNow(), std::memory_order_relaxed);
    try {
        job.run();
    } catch (const std::exception& e) {
        blog(LOG_ERROR, "[morvik-thanks] the core thread's job \"%s\" failed: %s; the thread goes on", job.name,
             e.what());
    } catch (...) {
        blog(LOG_ERROR, "[morvik-thanks] the core thread's job \"%s\" failed; the thread goes on", job.name);
    }
    queue.runningSince.store(0, std::memory_order_relaxed);
}

void Loop(const std::shared_ptr<CoreThread::Queue>& queue) {
    // The notice points to the queue, which this function holds: it is
    // removed before the function returns (and not under the queue's lock,
    // which a notice takes inside the message layer's).
    SetMessageArrivalNotice(&NoticeMessages, queue.get());
    YieldToVideo();
    for (bool ended = false; !ended;) {
        NamedJob job;
        {
            std::unique_lock lock(queue->mutex);
            queue->wake.wait(lock, [&] { return queue->stopping || !queue->jobs.empty(); });
            if (queue->jobs.empty()) {
                queue->ended = ended = true;
                queue->finished.notify_all();
                continue;
            }
            job = std::move(queue->jobs.front());
            queue->jobs.pop_front();
        }
        Run(*queue, job);
        std::unique_lock lock(queue->mutex);
        if (queue->abandoned) {
            // Left running at the stop, this thread may outlive the
            // process's exit handlers: it runs nothing more and never ends,
            // so that neither the jobs still queued (and what they hold)
            // nor its own windows' thread-exit clean-up reach statics being
            // torn down. The process's end takes it.
            lock.unlock();
            for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
        }
    }
    SetMessageArrivalNotice(nullptr, nullptr);
}

}  // namespace
