#include "obs/core_thread.h"

#include <future>

CoreThread::CoreThread() : thread_([this] { Loop(); }) {}

CoreThread::~CoreThread() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void CoreThread::Post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void CoreThread::Run(std::function<void()> job) {
    if (IsCurrent()) {
        job();
        return;
    }
    std::promise<void> done;
    Post([&] {
        job();
        done.set_value();
    });
    done.get_future().wait();
}

void CoreThread::Loop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}
