// SPDX-License-Identifier: GPL-2.0-or-later
#include "scenehost/summary_sheet.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kThumbTargetWidth = 480;
constexpr int kGap = 8;
constexpr uint32_t kSheetColor = 0xFF101010;

}  // namespace

std::vector<uint8_t> ShrinkBgra(const std::vector<uint8_t>& pixels, int width, int height, int factor) {
    const int outWidth = std::max(1, width / factor), outHeight = std::max(1, height / factor);
    std::vector<uint8_t> out(static_cast<size_t>(outWidth) * outHeight * 4);
    for (int oy = 0; oy < outHeight; ++oy) {
        for (int ox = 0; ox < outWidth; ++ox) {
            uint64_t weighted[3] = {0, 0, 0}, alpha = 0, count = 0;
            for (int y = oy * factor; y < std::min(height, (oy + 1) * factor); ++y) {
                for (int x = ox * factor; x < std::min(width, (ox + 1) * factor); ++x) {
                    const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
                    for (int c = 0; c < 3; ++c) weighted[c] += static_cast<uint64_t>(p[c]) * p[3];
                    alpha += p[3];
                    ++count;
                }
            }
            uint8_t* o = &out[(static_cast<size_t>(oy) * outWidth + ox) * 4];
            for (int c = 0; c < 3; ++c) o[c] = alpha ? static_cast<uint8_t>((weighted[c] + alpha / 2) / alpha) : 0;
            o[3] = count ? static_cast<uint8_t>((alpha + count / 2) / count) : 0;
        }
    }
    return out;
}

SummarySheet::SummarySheet(int canvasWidth, int canvasHeight) {
    factor_ = std::max(1, (canvasWidth + kThumbTargetWidth - 1) / kThumbTargetWidth);
    thumbWidth_ = std::max(1, canvasWidth / factor_);
    thumbHeight_ = std::max(1, canvasHeight / factor_);
}

SummarySheet::Thumbnail SummarySheet::Take(const CairoGraphics& canvas, int64_t frame) const {
    return {frame, ShrinkBgra(canvas.CanvasPixels(), canvas.CanvasWidth(), canvas.CanvasHeight(), factor_)};
}

void SummarySheet::Offer(const CairoGraphics& canvas, int64_t frame) {
    const int64_t offered = offered_++;
    if (offered % stride_ != 0) return;
    if (thumbnails_.size() == kKept) {
        std::vector<Thumbnail> kept;
        for (size_t i = 0; i < thumbnails_.size(); i += 2) kept.push_back(std::move(thumbnails_[i]));
        thumbnails_ = std::move(kept);
        stride_ *= 2;
        if (offered % stride_ != 0) return;
    }
    thumbnails_.push_back(Take(canvas, frame));
}

void SummarySheet::Finish(const CairoGraphics& canvas, int64_t frame) {
    if (thumbnails_.empty() || thumbnails_.back().frame != frame) thumbnails_.push_back(Take(canvas, frame));
    if (thumbnails_.size() <= kSlots) return;
    std::vector<Thumbnail> chosen;
    const double step = static_cast<double>(thumbnails_.size() - 1) / (kSlots - 1);
    for (int k = 0; k < kSlots; ++k) chosen.push_back(std::move(thumbnails_[static_cast<size_t>(std::llround(k * step))]));
    thumbnails_ = std::move(chosen);
}

std::vector<int64_t> SummarySheet::Frames() const {
    std::vector<int64_t> frames;
    for (const Thumbnail& t : thumbnails_) frames.push_back(t.frame);
    return frames;
}

std::string SummarySheet::Write(const std::string& path) const {
    const int columns = std::min<int>(kColumns, std::max<int>(1, static_cast<int>(thumbnails_.size())));
    const int rows = std::max<int>(1, (static_cast<int>(thumbnails_.size()) + kColumns - 1) / kColumns);
    CairoGraphics sheet;
    if (!sheet.SetCanvasSize(kGap + columns * (thumbWidth_ + kGap), kGap + rows * (thumbHeight_ + kGap)))
        return "cannot make a canvas for the summary";
    sheet.ClearCanvas(kSheetColor);
    for (size_t i = 0; i < thumbnails_.size(); ++i) {
        const float x = static_cast<float>(kGap + static_cast<int>(i % kColumns) * (thumbWidth_ + kGap));
        const float y = static_cast<float>(kGap + static_cast<int>(i / kColumns) * (thumbHeight_ + kGap));
        Texture* texture = sheet.CreateTexture(static_cast<unsigned>(thumbWidth_), static_cast<unsigned>(thumbHeight_),
                                               GS_BGRA, thumbnails_[i].pixels.data(), false, false);
        if (!texture) return "cannot make a texture for a thumbnail";
        sheet.DrawSprite(texture, 0xFFFFFFFF, x, y, x + static_cast<float>(thumbWidth_),
                         y + static_cast<float>(thumbHeight_));
        sheet.DeleteTexture(texture);
    }
    return sheet.WriteCanvasPng(path);
}
