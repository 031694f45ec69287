// The one thread the plug-in's core runs on inside OBS Studio. OBS calls a
// source from its UI thread (create, update, the properties button), its
// graphics thread (tick, render, activate) and a destruction thread; the core
// and its message windows assume one thread. So every core call is a job run
// in order on this thread, which also owns (creates and pumps) every message
// window. Render is the exception: it must run on the graphics thread, so it
// and every job that changes what it reads hold the core's drawing lock.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class CoreThread {
public:
    CoreThread();
    // Runs the jobs still queued, then ends the thread.
    ~CoreThread();
    CoreThread(const CoreThread&) = delete;
    CoreThread& operator=(const CoreThread&) = delete;

    // Runs the job on the core thread and returns when it is done (at once
    // when called on the core thread itself).
    void Run(std::function<void()> job);
    // Queues the job and returns at once.
    void Post(std::function<void()> job);

    bool IsCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void Loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};
