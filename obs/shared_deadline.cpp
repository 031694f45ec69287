// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/shared_deadline.h"

#include <algorithm>

void SharedDeadline::Begin(std::chrono::milliseconds limit) {
    std::lock_guard lock(mutex_);
    if (pending_++ == 0) deadline_ = Clock::now() + limit;
}

void SharedDeadline::Expire() {
    std::lock_guard lock(mutex_);
    deadline_ = std::min(deadline_, Clock::now());
}

void SharedDeadline::Renew(std::chrono::milliseconds limit) {
    std::lock_guard lock(mutex_);
    if (pending_ > 0) deadline_ = std::max(deadline_, Clock::now() + limit);
}

std::chrono::milliseconds SharedDeadline::Left() {
    std::lock_guard lock(mutex_);
    if (pending_ == 0) return std::chrono::milliseconds::zero();
    return std::max(std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now()),
                    std::chrono::milliseconds::zero());
}

void SharedDeadline::End() {
    std::lock_guard lock(mutex_);
    if (pending_ > 0) --pending_;
}

SharedDeadline& CoreWaitDeadline() {
    static SharedDeadline deadline;
    return deadline;
}
