// SPDX-License-Identifier: GPL-2.0-or-later
#include "obs/obs_graphics.h"

#include "host/host_services.h"
#include "host/texture_requests.h"

#include "obs/obs_gs.h"
#include "obs/obs_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

GraphicsSystem* GS = nullptr;

namespace {

class ObsTexture final : public Texture {
public:
    ObsTexture(unsigned width, unsigned height) : width_(width), height_(height), pixels_(size_t{width} * height * 4) {}
    ~ObsTexture() override {
        if (gsTexture_) RetireTexture(gsTexture_);
    }

    unsigned Width() const override { return width_; }
    unsigned Height() const override { return height_; }

    bool ReplaceImage(const void* pixels, int imageFormat, unsigned pitch) override {
        if (!AcceptImageUpdate(pixels, imageFormat, pitch, width_)) return false;
        Fill(static_cast<const uint8_t*>(pixels), pitch);
        return true;
    }

    void Fill(const uint8_t* pixels, unsigned pitch) {
        for (unsigned row = 0; row < height_; ++row)
            std::memcpy(&pixels_[size_t{row} * width_ * 4], pixels + size_t{row} * pitch, size_t{width_} * 4);
        dirty_ = true;
    }

    // The texture with the latest pixels; the graphics context is held.
    gs_texture* Upload() {
        if (!gsTexture_) {
            gsTexture_ = CreateBgraTexture(width_, height_, pixels_.data());
            if (!gsTexture_) return nullptr;
        } else if (dirty_) {
            SetBgraImage(gsTexture_, pixels_.data(), width_ * 4);
        }
        dirty_ = false;
        return gsTexture_;
    }

private:
    unsigned width_, height_;
    std::vector<uint8_t> pixels_;
    bool dirty_ = true;
    gs_texture* gsTexture_ = nullptr;
};

}  // namespace

Texture* ObsGraphics::CreateTexture(unsigned width, unsigned height, int colorFormat, const void* pixels,
                                    bool /*buildMipMaps*/, bool /*isStatic*/) {
    if (!AcceptTextureCreation(width, height, colorFormat)) return nullptr;
    auto texture = std::make_unique<ObsTexture>(width, height);
    if (pixels) texture->Fill(static_cast<const uint8_t*>(pixels), width * 4);
    return texture.release();
}

void ObsGraphics::DeleteTexture(Texture* texture) { std::unique_ptr<Texture> owned(texture); }

void ObsGraphics::DrawSprite(Texture* texture, uint32_t /*color*/, float x1, float y1, float x2, float y2) {
    if (!texture) return;
    const float dx = x2 - x1, dy = y2 - y1;
    if (!(std::abs(dx) > 0) || !(std::abs(dy) > 0) || !std::isfinite(dx) || !std::isfinite(dy)) return;
    gs_texture* gsTexture = static_cast<ObsTexture*>(texture)->Upload();
    if (gsTexture) DrawTextureSprite(gsTexture, x1, y1, x2, y2);
}

std::unique_lock<std::mutex> ObsGraphics::HoldDrawing() {
    static std::mutex drawing;
    return std::unique_lock<std::mutex>(drawing);
}

void InstallObsGraphics() {
    static ObsGraphics graphics;
    GS = &graphics;
}
