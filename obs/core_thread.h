// SPDX-License-Identifier: GPL-2.0-or-later
// The one thread the plug-in's core runs on inside OBS Studio. OBS calls a
// source from its UI thread (create, update, the properties button), its
// graphics thread (tick, render, activate) and a destruction thread; the core
// and its message windows assume one thread. So every core call is a job run
// in order on this thread, which also owns (creates and pumps) every message
// window.
//
// The core thread runs the logic assembly's commands, which may take as long
// as the assembly likes (a form stays open for minutes, a room takes seconds
// to connect). So OBS's threads only queue jobs; where OBS must know that a
// job has finished before it goes on (a source's destruction, the module's
// unload) it waits a bounded time and then goes on without it. A job that
// throws is logged under its name, and the thread goes on with the next.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class CoreThread {
public:
    CoreThread();
    // Runs the jobs still queued, then ends the thread. A thread that has
    // not ended within `kStopLimit`, or within what is left of the deadline
    // of earlier waits it is behind on (obs/shared_deadline.h), is left
    // running, detached, with this module kept in memory so that its code
    // stays there for it: OBS's exit goes on. Once its job returns, that
    // thread runs nothing more and never ends, so that nothing of it races
    // the process's exit handlers.
    ~CoreThread();
    CoreThread(const CoreThread&) = delete;
    CoreThread& operator=(const CoreThread&) = delete;

    static constexpr std::chrono::seconds kStopLimit{5};

    // How long a job runs before the thread counts as busy: a few frames.
    static constexpr std::chrono::milliseconds kBusyAfter{100};

    // Queues the job and returns at once. A job must not own this object:
    // it would end its own thread. `name` (a literal) names the job in the
    // log should it throw.
    void Post(const char* name, std::function<void()> job);
    // Queues the job and waits until it has run or `limit` has passed; true
    // when it has run. A job that is still queued or running at the limit
    // runs to its end later all the same, so it must own what it uses. Run
    // at once when called on the core thread itself.
    bool RunWithin(const char* name, std::function<void()> job, std::chrono::milliseconds limit);

    enum class Attempt {
        Ran,           // the job ran to its end within the limit
        Cancelled,     // the job had not started at the limit, and never will
        StillRunning,  // the job had started at the limit and runs to its end
    };
    // Queues the job and waits at most `limit`; unlike RunWithin, a job
    // that has not started by then is taken back: what the caller is told
    // was not done is not done later. Not on the core thread.
    Attempt TryWithin(const char* name, std::function<void()> job, std::chrono::milliseconds limit);

    // Whether the job running now has run for longer than kBusyAfter (a
    // form open, a slow command): a caller that must not wait long answers
    // at once instead of queueing behind it. Any thread.
    bool Busy() const;

    // Runs `job` on this thread soon after a message is queued for one of
    // its windows, so that what the logic assembly sends is handled when it
    // arrives, not at the next frame; at most one such job waits at a time.
    // Any thread.
    void OnMessages(std::function<void()> job);

    bool IsCurrent() const { return std::this_thread::get_id() == id_; }

    struct Queue;  // the jobs and the thread's state, shared with the thread

private:
    std::shared_ptr<Queue> queue_;  // shared with the thread, which may outlive this object
    std::thread thread_;
    std::thread::id id_;
};
