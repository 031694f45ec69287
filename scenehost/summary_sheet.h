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

    SummarySheet(int canvasWidth, int canvasHeight);

    // Offers the frame on the canvas. `progress` is how far the run is, 0 to
    // 1, when its length is known: a thumbnail is taken each time it passes
    // the next of kSlots evenly spaced marks. Negative for a run of unknown
    // length: thumbnails are then taken at a stride that doubles whenever the
    // sheet fills, keeping every other one.
    void Offer(const CairoGraphics& canvas, int64_t frame, double progress);
    // The last frame of the run, always shown in the last place taken.
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
    int64_t stride_ = 1;
};

// Shrinks straight-alpha BGRA by a whole factor, each output pixel the
// alpha-weighted mean of its factor x factor block (partial blocks at the
// right and bottom edges are dropped).
std::vector<uint8_t> ShrinkBgra(const std::vector<uint8_t>& pixels, int width, int height, int factor);
