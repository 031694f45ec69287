// SPDX-License-Identifier: GPL-2.0-or-later
// A small plug-in for the scenehost tests: class "TestSquare" draws a solid
// square in its settings' "color" over the size the host gives it, and
// writes into its settings what the host did with it, so a test can read the
// host's calls back from the saved scene. Built with SQUARE_REFUSES_LOAD its
// LoadPlugin fails instead.

#include "host/OBSApi.h"

#include <cstdint>
#include <vector>

namespace {

class SquareSource final : public ImageSource {
public:
    explicit SquareSource(XElement* data) : data_(data) { UpdateSettings(); }
    ~SquareSource() override {
        if (texture_) GS->DeleteTexture(texture_);
    }

    void UpdateSettings() override {
        const auto color = static_cast<uint32_t>(data_->GetInt(u"color", static_cast<int>(0xFFFF0000)));
        const std::vector<uint32_t> pixels(16, color);  // BGRA bytes of 0xAARRGGBB, little-endian
        if (texture_) GS->DeleteTexture(texture_);
        texture_ = GS->CreateTexture(4, 4, GS_BGRA, pixels.data(), false, false);
    }
    void Preprocess() override { ++frames_; }
    void Render(const Vect2& position, const Vect2& size) override {
        GS->DrawSprite(texture_, 0xFFFFFFFF, position.x, position.y, position.x + size.x, position.y + size.y);
    }
    Vect2 GetSize() const override { return {10.0f, 10.0f}; }
    void BeginScene() override { data_->SetInt(u"scenesBegun", data_->GetInt(u"scenesBegun") + 1); }
    void EndScene() override { data_->SetInt(u"framesSeen", frames_); }

private:
    XElement* data_;
    Texture* texture_ = nullptr;
    int frames_ = 0;
};

[[maybe_unused]] ImageSource* CreateSquare(XElement* data) { return new SquareSource(data); }

// Takes "configureColor" as the new colour and a new size; declines when
// the settings say "accept": 0.
[[maybe_unused]] bool ConfigureSquare(XElement* element, bool) {
    XElement* data = element->GetElement(u"data");
    if (!data || data->GetInt(u"accept", 1) == 0) return false;
    data->SetInt(u"color", data->GetInt(u"configureColor", static_cast<int>(0xFF0000FF)));
    element->SetInt(u"cx", 20);
    element->SetInt(u"cy", 20);
    return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) bool LoadPlugin() {
#ifdef SQUARE_REFUSES_LOAD
    return false;
#else
    API->RegisterImageSourceClass(u"TestSquare", u"Test square", CreateSquare, ConfigureSquare);
    return true;
#endif
}

extern "C" __attribute__((visibility("default"))) void UnloadPlugin() {}
extern "C" __attribute__((visibility("default"))) CTSTR GetPluginName() { return u"Test square"; }
extern "C" __attribute__((visibility("default"))) CTSTR GetPluginDescription() { return u"Draws squares for tests"; }
