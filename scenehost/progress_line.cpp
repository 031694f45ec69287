// SPDX-License-Identifier: GPL-2.0-or-later
#include "scenehost/progress_line.h"

#include <cstdio>
#include <unistd.h>

namespace {

constexpr double kInterval = 0.25;
// Off a terminal (a log file, a test) the line is written less often, each
// time on a line of its own.
constexpr double kPlainInterval = 5.0;

}  // namespace

ProgressLine::ProgressLine() : terminal_(isatty(STDERR_FILENO) == 1) {}

void ProgressLine::Update(int64_t frames, double elapsed, std::optional<double> left) {
    if (elapsed - lastTime_ < (terminal_ ? kInterval : kPlainInterval)) return;
    const double fps = static_cast<double>(frames - lastFrames_) / (elapsed - lastTime_);
    lastTime_ = elapsed;
    lastFrames_ = frames;
    char leftText[48] = "";
    if (left) std::snprintf(leftText, sizeof leftText, ", %.1f s left", *left > 0 ? *left : 0.0);
    std::fprintf(stderr, "%sframe %lld, %.1f fps%s%s", terminal_ ? "\r\033[K" : "scenehost: ",
                 static_cast<long long>(frames), fps, leftText, terminal_ ? "" : "\n");
    shown_ = terminal_;
}

void ProgressLine::Finish(int64_t frames, int64_t dropped, double elapsed, bool interrupted) {
    if (shown_) std::fputs("\r\033[K", stderr);
    char droppedText[48] = "";
    if (dropped > 0) std::snprintf(droppedText, sizeof droppedText, ", %lld dropped", static_cast<long long>(dropped));
    std::fprintf(stderr, "scenehost: %s%lld frames in %.2f s, average %.1f fps%s\n", interrupted ? "interrupted: " : "",
                 static_cast<long long>(frames), elapsed, elapsed > 0 ? static_cast<double>(frames) / elapsed : 0.0,
                 droppedText);
}
