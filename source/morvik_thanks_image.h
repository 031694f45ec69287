// SPDX-License-Identifier: GPL-2.0-or-later
// The thanks text image source: holds the text style loaded from its
// settings, fetches the thanks text pushed for its channel every frame, and
// draws its texture scaled to the size the host gives it.
#pragma once

#include "host/OBSApi.h"
#include "render/text_rasteriser.h"
#include "source/blocked_words.h"

#include <optional>

class MorvikThanksImage : public ImageSource {
public:
    explicit MorvikThanksImage(XElement* settings);
    ~MorvikThanksImage() override;

    void Preprocess() override;
    void Render(const Vect2& position, const Vect2& size) override;
    Vect2 GetSize() const override { return baseSize_; }
    void UpdateSettings() override;
    // Find or create the channel and tell the logic assembly to start / stop.
    void BeginScene() override;
    void EndScene() override;

    // Draws displayText, its blocked words masked, into this source's
    // texture.
    void UpdateTexture();

    // The size of what the source draws now: its texture's, the text as the
    // rasteriser measured it with outline and background, or the base size
    // before anything was drawn. Under the host's drawing lock.
    Vect2 DrawnSize() const;

    const TextStyle& Style() const { return style_; }
    const SourceTexture& TextureState() const { return texture_; }
    XElement* Settings() const { return settings_; }

private:
    // displayText with the blocked words masked: worked out again only when
    // the text or the list has changed, not every frame.
    const String& MaskedDisplayText();

    Vect2 baseSize_{32.0f, 32.0f};
    SourceTexture texture_;
    XElement* settings_;
    TextStyle style_;
    // The text this source last took from its channel. A channel that holds
    // no text yet redraws this, not whatever another source left behind in
    // the shared displayText.
    String ownText_;
    TextRasteriser rasteriser_;
    // "blocked_words" as last loaded, its matcher, and the last text masked
    // with it (none after the list changed) with the result.
    String blockedSetting_;
    BlockedWords blockedWords_;
    std::optional<String> maskedFrom_;
    String masked_;
};

// The create callback registered with the host: a zero-filled object from
// MainAllocator storage, constructed and with its settings loaded; null when
// the allocator has no storage.
ImageSource* CreateThanksSource(XElement* data);
