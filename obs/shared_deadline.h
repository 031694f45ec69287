// SPDX-License-Identifier: GPL-2.0-or-later
// One deadline for every wait OBS's threads make on the core thread while
// it is behind: the destruction of each source, the module's unload, the
// core thread's end. Each of those waits a bounded time for a job of its
// own; with the core held (a settings form, a command that does not
// return), N sources removed at once (a scene collection switched, OBS
// quitting) would otherwise wait N times that bound, one after the other, on
// libobs's one destruction thread. The deadline runs from the first wait
// until the core has run every job waited for; a wait that begins while it
// runs waits only what is left of it.
#pragma once

#include <chrono>
#include <mutex>

class SharedDeadline {
public:
    using Clock = std::chrono::steady_clock;

    // A wait for a job on the core begins: the deadline starts `limit` from
    // now unless one already runs. Any thread.
    void Begin(std::chrono::milliseconds limit);
    // The core is known to be held for longer than anyone should wait (a
    // settings form): the deadline passes now, and every wait until the
    // core has caught up ends at once.
    void Expire();
    // The form that held the core was just asked to close, and shows it will
    // (a shown form closes as Cancel closes it): the core catches up soon,
    // so the waits under way get `limit` from now again, however early an
    // earlier hold made the deadline pass.
    void Renew(std::chrono::milliseconds limit);
    // What is left of the deadline (nothing when none runs).
    std::chrono::milliseconds Left();
    // A job that a wait began for has run, whether or not the wait was still
    // there; once every such job has run, the deadline is over. The core
    // thread, at the job's end.
    void End();

private:
    std::mutex mutex_;
    int pending_ = 0;
    Clock::time_point deadline_{};
};

// The deadline of the module's core thread, shared by every source. It has
// static storage: the jobs that end a wait run on the core thread, which
// may outlive the module's unload (its module is then kept in memory).
SharedDeadline& CoreWaitDeadline();
