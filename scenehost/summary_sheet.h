// SPDX-License-Identifier: GPL-2.0-or-later
// summary.png: a grid of thumbnails of frames taken across a run, so that a
// user sees what a run drew without opening every frame.
#pragma once

#include "host/cairo_graphics.h"

#include <cstdint>
#include <string>
#include <vector>

class SummarySheet {
public:
    static constexpr int kColumns = 3;
    static constexpr int kRows = 2;
    static constexpr int kSlots = kColumns * kRows;
    static constexpr size_t kKept = 2 * kSlots;

    SummarySheet(int canvasWidth, int canvasHeight);

    // Offers the frame on the canvas. Thumbnails are taken at a stride that
    // doubles whenever kKept are held (every other one is then let go), so
    // they stay spread evenly over a run of any length, interrupted or not.
    void Offer(const CairoGraphics& canvas, int64_t frame);
    // Takes the run's last frame and keeps kSlots thumbnails spread evenly
    // from the first frame to it.
    void Finish(const CairoGraphics& canvas, int64_t frame);

    // Writes the sheet as a PNG; an empty string on success, else the error.
    std::string Write(const std::string& path) const;
    // The frame numbers shown, in order.
    std::vector<int64_t> Frames() const;

private:
    struct Thumbnail {
        int64_t frame = 0;
        std::vector<uint8_t> pixels;  // straight BGRA, thumbWidth_ x thumbHeight_
    };
    Thumbnail Take(const CairoGraphics& canvas, int64_t frame) const;

    int factor_ = 1;
    int thumbWidth_ = 1;
    int thumbHeight_ = 1;
    std::vector<Thumbnail> thumbnails_;
    int64_t offered_ = 0;  // frames offered so far; the stride counts these
    int64_t stride_ = 1;
};

// Shrinks straight-alpha BGRA by a whole factor, each output pixel the
// alpha-weighted mean of its factor x factor block (partial blocks at the
// right and bottom edges are dropped).
std::vector<uint8_t> ShrinkBgra(const std::vector<uint8_t>& pixels, int width, int height, int factor);
