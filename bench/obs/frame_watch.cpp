// SPDX-License-Identifier: GPL-2.0-or-later
#include "bench/obs/frame_watch.h"

#include <util/platform.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// The frame's BGRA rows, packed.
void CopyRows(const video_data* frame, uint32_t width, uint32_t height, std::vector<uint8_t>& out) {
    out.resize(size_t{width} * height * 4);
    for (uint32_t row = 0; row < height; ++row)
        std::memcpy(&out[size_t{row} * width * 4], frame->data[0] + size_t{row} * frame->linesize[0], size_t{width} * 4);
}

bool SameRows(const video_data* frame, uint32_t width, uint32_t height, const std::vector<uint8_t>& rows) {
    if (rows.size() != size_t{width} * height * 4) return false;
    for (uint32_t row = 0; row < height; ++row)
        if (std::memcmp(&rows[size_t{row} * width * 4], frame->data[0] + size_t{row} * frame->linesize[0],
                        size_t{width} * 4) != 0)
            return false;
    return true;
}

}  // namespace

FrameWatch::FrameWatch() { obs_add_raw_video_callback(nullptr, &FrameWatch::Receive, this); }

FrameWatch::~FrameWatch() { obs_remove_raw_video_callback(&FrameWatch::Receive, this); }

uint64_t FrameWatch::Count() {
    std::lock_guard lock(mutex_);
    return count_;
}

void FrameWatch::WaitFrames(uint64_t count) {
    std::unique_lock lock(mutex_);
    const uint64_t until = count_ + count;
    delivered_.wait(lock, [&] { return count_ >= until; });
}

void FrameWatch::TakeSteadyFrame() {
    std::unique_lock lock(mutex_);
    takeSteady_ = true;
    delivered_.wait(lock, [&] { return !takeSteady_; });
}

void FrameWatch::Arm() {
    std::lock_guard lock(mutex_);
    change_.reset();
    armed_ = true;
}

bool FrameWatch::WriteSteadyFrame(const std::string& path) {
    std::lock_guard lock(mutex_);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::fprintf(file, "P6\n%u %u\n255\n", steadyWidth_, steadyHeight_);
    for (size_t i = 0; i + 3 < steady_.size(); i += 4) {
        const uint8_t rgb[3] = {steady_[i + 2], steady_[i + 1], steady_[i]};
        std::fwrite(rgb, 1, 3, file);
    }
    return std::fclose(file) == 0;
}

std::optional<FrameWatch::Change> FrameWatch::WaitChange(int limitMs) {
    std::unique_lock lock(mutex_);
    delivered_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] { return change_.has_value(); });
    armed_ = false;
    return change_;
}

void FrameWatch::Receive(void* param, video_data* frame) {
    const uint64_t now = os_gettime_ns();
    auto* self = static_cast<FrameWatch*>(param);
    const video_output_info* info = video_output_get_info(obs_get_video());
    {
        std::lock_guard lock(self->mutex_);
        ++self->count_;
        if (self->takeSteady_) {
            CopyRows(frame, info->width, info->height, self->steady_);
            self->steadyWidth_ = info->width;
            self->steadyHeight_ = info->height;
            self->takeSteady_ = false;
        } else if (self->armed_ && !SameRows(frame, info->width, info->height, self->steady_)) {
            self->change_ = Change{now, frame->timestamp};
            CopyRows(frame, info->width, info->height, self->steady_);
            self->armed_ = false;
        }
    }
    self->delivered_.notify_all();
}
