// SPDX-License-Identifier: GPL-2.0-or-later
// The frame loop of a run: each frame pumps the message windows, lets every
// source update, clears the canvas and draws the sources, paced in real time.
#pragma once

#include "host/OBSApi.h"
#include "host/cairo_graphics.h"
#include "scenehost/command_line.h"
#include "scenehost/frame_output.h"

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

struct LiveSource {
    ImageSource* source = nullptr;
    Vect2 position;
    Vect2 size;
};

struct FrameLoopResult {
    int64_t frames = 0;     // frames drawn
    int64_t dropped = 0;    // frames skipped because the loop was late
    int64_t lastFrame = -1; // number of the last frame drawn
    double seconds = 0;     // wall-clock time of the loop
    bool interrupted = false;
    std::string error;      // a frame that could not be written ends the run
};

// One frame: the messages queued for this thread's windows handled, every
// source updated and ticked by `tick` seconds, the canvas cleared to
// `background` and the sources drawn in order.
void RenderFrame(CairoGraphics& canvas, uint32_t background, const std::vector<LiveSource>& sources, float tick);

// Runs until the frame count or the time of `options` is reached (neither:
// until stopped), or `stop` becomes non-zero. Frame n is drawn at n / fps
// seconds after the start, at once when fps is 0, and not at all when the
// loop is already a whole frame past it.
FrameLoopResult RunFrames(const RunOptions& options, CairoGraphics& canvas, uint32_t background,
                          const std::vector<LiveSource>& sources, FrameOutput* output,
                          const volatile std::sig_atomic_t& stop);
