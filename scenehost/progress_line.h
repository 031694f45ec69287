// SPDX-License-Identifier: GPL-2.0-or-later
// The one-line progress report of a run on stderr (frame, frames per second,
// time left), rewritten in place on a terminal and a few times a second.
#pragma once

#include <cstdint>
#include <optional>

class ProgressLine {
public:
    ProgressLine();

    // Called every frame; writes only every quarter second. `left` is the
    // time the run still has, when known.
    void Update(int64_t frames, double elapsed, std::optional<double> left);
    // Ends the in-place line and prints the run's totals and average rate.
    void Finish(int64_t frames, int64_t dropped, double elapsed, bool interrupted);

private:
    bool terminal_ = false;
    bool shown_ = false;
    double lastTime_ = 0;
    int64_t lastFrames_ = 0;
};
