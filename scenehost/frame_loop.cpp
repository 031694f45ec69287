// SPDX-License-Identifier: GPL-2.0-or-later
#include "scenehost/frame_loop.h"

#include "platform/message_window.h"
#include "scenehost/progress_line.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Sleeps until `due` in short steps, so that a stop request is seen promptly.
// False when stopped.
bool WaitUntil(Clock::time_point due, const volatile std::sig_atomic_t& stop) {
    constexpr auto kStep = std::chrono::milliseconds(20);
    for (auto now = Clock::now(); now < due; now = Clock::now()) {
        if (stop) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kStep));
    }
    return !stop;
}

}  // namespace

void RenderFrame(CairoGraphics& canvas, uint32_t background, const std::vector<LiveSource>& sources, float tick) {
    PumpMessages();
    for (const LiveSource& live : sources) live.source->Preprocess();
    for (const LiveSource& live : sources) live.source->Tick(tick);
    canvas.ClearCanvas(background);
    for (const LiveSource& live : sources) live.source->Render(live.position, live.size);
}

FrameLoopResult RunFrames(const RunOptions& options, CairoGraphics& canvas, uint32_t background,
                          const std::vector<LiveSource>& sources, FrameOutput* output,
                          const volatile std::sig_atomic_t& stop) {
    FrameLoopResult result;
    ProgressLine progress;
    const Clock::time_point start = Clock::now();
    double lastFrameTime = 0;

    for (int64_t frame = 0;; ++frame) {
        if (options.fps > 0) {
            // A frame already a whole frame late is dropped, as a live host
            // drops it: frame n always shows the scene at n / fps seconds,
            // in step with the clock the logic assembly's events run on.
            int64_t current = static_cast<int64_t>(SecondsSince(start) * options.fps);
            if (options.frames) current = std::min(current, *options.frames);
            if (current > frame) {
                result.dropped += current - frame;
                frame = current;
            }
        }
        if (options.frames && frame >= *options.frames) break;
        const double due = options.fps > 0 ? static_cast<double>(frame) / options.fps : SecondsSince(start);
        if (options.seconds && due >= *options.seconds) break;
        if (options.fps > 0 &&
            !WaitUntil(start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(due)), stop))
            break;
        if (stop) break;

        const double now = SecondsSince(start);
        const float tick = static_cast<float>(frame == 0 ? (options.fps > 0 ? 1.0 / options.fps : 0.0)
                                                         : now - lastFrameTime);
        lastFrameTime = now;

        RenderFrame(canvas, background, sources, tick);
        ++result.frames;
        result.lastFrame = frame;

        std::optional<double> left;
        if (options.frames && options.fps > 0) left = static_cast<double>(*options.frames - frame - 1) / options.fps;
        else if (options.seconds) left = *options.seconds - now;
        if (output) {
            result.error = output->Frame(canvas, frame);
            if (!result.error.empty()) break;
        }
        progress.Update(result.frames, SecondsSince(start), left);
    }
    result.seconds = SecondsSince(start);
    result.interrupted = stop != 0;
    progress.Finish(result.frames, result.dropped, result.seconds, result.interrupted);
    return result;
}
