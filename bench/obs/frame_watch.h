// SPDX-License-Identifier: GPL-2.0-or-later
// The output frames libobs delivers to a raw video callback, as a streamer's
// recording or stream takes them: counted, so that a benchmark can step frame
// by frame, and watched for the first frame that differs from a steady one,
// so that the time a new text takes to reach the output can be measured.
#pragma once

#include <obs.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class FrameWatch {
public:
    FrameWatch();
    ~FrameWatch();
    FrameWatch(const FrameWatch&) = delete;
    FrameWatch& operator=(const FrameWatch&) = delete;

    // The frames delivered so far.
    uint64_t Count();
    // Waits until `count` more frames have been delivered.
    void WaitFrames(uint64_t count);

    // A frame that differs from the steady one: when it was delivered and
    // the time libobs gave it (when it began rendering it), on the clock of
    // os_gettime_ns.
    struct Change {
        uint64_t deliveredNs = 0;
        uint64_t frameNs = 0;
    };
    // Takes the next frame delivered as the steady one.
    void TakeSteadyFrame();
    // Watches the frames delivered from now on for the first one that
    // differs from the steady frame, which it then replaces; none when no
    // such frame came within `limitMs`.
    void Arm();
    // Writes the steady frame as a binary PPM (its colours; the output is
    // opaque); false when it cannot be written.
    bool WriteSteadyFrame(const std::string& path);
    std::optional<Change> WaitChange(int limitMs);

private:
    static void Receive(void* param, video_data* frame);

    std::mutex mutex_;
    std::condition_variable delivered_;
    uint64_t count_ = 0;
    bool takeSteady_ = false;
    bool armed_ = false;
    std::vector<uint8_t> steady_;
    uint32_t steadyWidth_ = 0, steadyHeight_ = 0;
    std::optional<Change> change_;
};
