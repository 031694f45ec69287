// SPDX-License-Identifier: GPL-2.0-or-later
// What a run writes into its output folder: every K-th frame as
// frame-NNNNNN.png, and summary.png at the end.
#pragma once

#include "host/cairo_graphics.h"
#include "scenehost/summary_sheet.h"

#include <cstdint>
#include <string>

class FrameOutput {
public:
    FrameOutput(std::string folder, int64_t every, int canvasWidth, int canvasHeight);

    // Takes the frame on the canvas, frame number `frame`, and writes every
    // K-th frame it is given as a PNG; an empty string, or the error when the
    // PNG could not be written.
    std::string Frame(const CairoGraphics& canvas, int64_t frame);
    // Writes summary.png with the last frame; an empty string or the error.
    std::string Finish(const CairoGraphics& canvas, int64_t lastFrame);

    std::string SummaryPath() const { return folder_ + "/summary.png"; }
    const SummarySheet& Sheet() const { return sheet_; }

private:
    std::string folder_;
    int64_t every_;
    int64_t given_ = 0;
    SummarySheet sheet_;
};

// Empty when a file can be created in `folder` (made first when missing),
// else what stands in the way.
std::string CheckWritableFolder(const std::string& folder, bool create);
