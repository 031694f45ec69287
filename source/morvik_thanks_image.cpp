// SPDX-License-Identifier: GPL-2.0-or-later
#include "source/morvik_thanks_image.h"

#include "channel/channel_events.h"
#include "channel/process_state.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;

// The factor between the host's size for the source and its base size. A
// base size that is not a positive number (a damaged scene file) draws the
// texture at its pixel size rather than at an infinite or negative scale.
float ScaleFactor(float hostSize, float baseSize) {
    if (!(baseSize > 0.0f) || !std::isfinite(baseSize)) return 1.0f;
    return hostSize / baseSize;
}

}  // namespace

MorvikThanksImage::MorvikThanksImage(XElement* settings) : settings_(settings), ownText_(defaultHintText) {}

MorvikThanksImage::~MorvikThanksImage() {
    channelRegistry.Retire(settings_);
    const std::unique_lock<std::mutex> drawing = HoldHostDrawing();
    if (texture_.texture) GS->DeleteTexture(texture_.texture);
}

void MorvikThanksImage::UpdateSettings() {
    if (!settings_) return;
    style_.fontName = settings_->GetString(u"font", u"Arial");
    style_.color = static_cast<uint32_t>(settings_->GetInt(u"color", static_cast<int>(kOpaqueWhite)));
    style_.fontSize = settings_->GetInt(u"fontSize", 48);
    style_.textOpacity = settings_->GetInt(u"textOpacity", 100);
    style_.outline = settings_->GetInt(u"outline", 0) == 1;
    style_.outlineColor = static_cast<uint32_t>(settings_->GetInt(u"outlineColor", static_cast<int>(0xFF000000)));
    style_.outlineSize = settings_->GetFloat(u"outlineSize", 2.0f);
    style_.outlineOpacity = settings_->GetInt(u"outlineOpacity", 100);
    style_.backgroundColor = static_cast<uint32_t>(settings_->GetInt(u"backgroundColor", static_cast<int>(0xFF000000)));
    style_.backgroundOpacity = settings_->GetInt(u"backgroundOpacity", 0);
    style_.bold = settings_->GetInt(u"bold", 0) != 0;
    style_.italic = settings_->GetInt(u"italic", 0) != 0;
    style_.underline = settings_->GetInt(u"underline", 0) != 0;
    const String blockedSetting = settings_->GetString(u"blocked_words");
    if (!(blockedSetting == blockedSetting_)) {
        blockedWords_ = BlockedWords(blockedSetting.Text());
        blockedSetting_ = blockedSetting;
        maskedFrom_.reset();
    }
    const Vect2 baseSize{settings_->GetFloat(u"baseSizeCX", 32.0f), settings_->GetFloat(u"baseSizeCY", 32.0f)};
    // The host may be drawing this source on another thread.
    const std::unique_lock<std::mutex> drawing = HoldHostDrawing();
    baseSize_ = baseSize;
}

void MorvikThanksImage::Preprocess() {
    if (!settings_) return;
    // The logic assembly colours the text through "RandomForeColor"; the
    // colour stays until the settings are loaded again.
    if (settings_->GetInt(u"RandomColor", 0) != 0)
        style_.color = static_cast<uint32_t>(settings_->GetInt(u"RandomForeColor", static_cast<int>(kOpaqueWhite)));

    bool thanksDrawn = false;
    if (ChannelRecord* entry = channelRegistry.FindEntryByInnerId(settings_->GetString(u"innerId"), settings_)) {
        redrawPending = entry->redraw != 0;
        if (!entry->text.IsEmpty()) {
            ownText_ = entry->text;
            ownText_.KillSpaces();
        }
        displayText = ownText_;
        thanksDrawn = std::exchange(entry->thanksShown, false);
    }

    if (redrawPending) {
        UpdateTexture();
        redrawPending = false;
    }
    // The thanks as it is on screen, blocked words masked.
    if (thanksDrawn) ReportChannelEvent(settings_, ChannelEvent::ThanksShown, MaskedDisplayText());
}

void MorvikThanksImage::UpdateTexture() { rasteriser_.UpdateTexture(MaskedDisplayText(), style_, texture_); }

const String& MorvikThanksImage::MaskedDisplayText() {
    if (blockedWords_.Empty()) return displayText;
    if (!maskedFrom_ || !(*maskedFrom_ == displayText)) {
        // Only what is drawn, the text up to its first NUL, is masked.
        const std::u16string_view drawn(displayText.Array());
        masked_ = String(blockedWords_.Mask(drawn));
        maskedFrom_ = displayText;
    }
    return masked_;
}

Vect2 MorvikThanksImage::DrawnSize() const {
    if (!texture_.texture) return baseSize_;
    return Vect2{static_cast<float>(texture_.width), static_cast<float>(texture_.height)};
}

void MorvikThanksImage::Render(const Vect2& position, const Vect2& size) {
    if (!texture_.texture) return;
    const float x2 = position.x + static_cast<float>(texture_.width) * ScaleFactor(size.x, baseSize_.x);
    const float y2 = position.y + static_cast<float>(texture_.height) * ScaleFactor(size.y, baseSize_.y);
    GS->DrawSprite(texture_.texture, kOpaqueWhite, position.x, position.y, x2, y2);
}

ImageSource* CreateThanksSource(XElement* data) {
    void* storage = MainAllocator->Allocate(sizeof(MorvikThanksImage));
    if (!storage) return nullptr;
    std::memset(storage, 0, sizeof(MorvikThanksImage));
    auto* source = new (storage) MorvikThanksImage(data);
    source->UpdateSettings();
    return source;
}
