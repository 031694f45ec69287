// SPDX-License-Identifier: GPL-2.0-or-later
#include "render/text_rasteriser.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <immintrin.h>

namespace {

constexpr int32_t kMinTextureSide = 32;
constexpr int32_t kMaxTextureSide = 8192;
// Outlines wider than this cannot make sense on a texture of at most 8192 px
// and would only make the stroked glyphs enormous; they are drawn this wide.
constexpr float kMaxOutlineStroke = 256.0f;

int32_t ClampOpacity(int32_t opacity) { return std::clamp(opacity, 0, 100); }

// The outline width as a number the box and the stroke can use: a width that
// is not a number counts as 0.
float SaneOutlineSize(float size) { return std::isfinite(size) ? std::clamp(size, -8192.0f, 8192.0f) : 0.0f; }

// Truncation toward zero of a box side plus 0.0001, safe for any float.
int64_t TruncateSide(float side) {
    const double value = static_cast<double>(side) + 0.0001;
    if (std::isnan(value))
        return 0;
    return static_cast<int64_t>(std::clamp(value, -1e9, 1e9));
}

int32_t EvenAndClamped(int64_t side) {
    side += side % 2;
    return static_cast<int32_t>(std::clamp<int64_t>(side, kMinTextureSide, kMaxTextureSide));
}

void SetSourceArgb(cairo_t* cr, uint32_t argb) {
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                          (argb >> 24) / 255.0);
}

uint32_t WithAlpha(uint8_t alpha, uint32_t color) { return (static_cast<uint32_t>(alpha) << 24) | (color & 0xFFFFFF); }

// Text as drawn: up to its first NUL, as the platform's drawing took it.
std::u16string_view DrawnText(const String& text) {
    std::u16string_view view(text.Text());
    return view.substr(0, view.find(u'\0'));
}

// Status of the layout's primary font: a font that cannot be loaded is the
// one way measuring fails here.
cairo_status_t PrimaryFontStatus(const TextFont& font) {
    PangoFontDescriptionPtr description(pango_font_description_new());
    pango_font_description_set_family(description.get(), font.family.c_str());
    pango_font_description_set_weight(description.get(), font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(description.get(), font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(description.get(), font.emSize * PANGO_SCALE);
    PangoContext* context = SharedTextContext(LayoutMode::Drawing);
    GObjectPtr<PangoFont> loaded(pango_font_map_load_font(pango_context_get_font_map(context), context, description.get()));
    if (!loaded)
        return CAIRO_STATUS_FILE_NOT_FOUND;
    cairo_scaled_font_t* scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(loaded.get()));
    return scaled ? cairo_scaled_font_status(scaled) : CAIRO_STATUS_NULL_POINTER;
}

}  // namespace

uint8_t BrushAlpha(int32_t opacity) { return static_cast<uint8_t>(ClampOpacity(opacity) * 255 / 100); }

uint8_t OutlineAlpha(int32_t outlineOpacity, int32_t textOpacity) {
    const float a = static_cast<float>(ClampOpacity(outlineOpacity)) * 0.01f;
    const float b = static_cast<float>(ClampOpacity(textOpacity)) * 0.01f;
    const float p = a * b * 100.0f;
    const int32_t n = static_cast<int32_t>(p);
    return static_cast<uint8_t>(n * 255 / 100);
}

TextureLayout ComputeTextureLayout(const std::optional<TextBox>& measured, const TextStyle& style) {
    TextureLayout result;
    TextBox box;
    const float outlineSize = SaneOutlineSize(style.outlineSize);
    if (measured) {
        box = *measured;
        if (style.outline) {
            box.width += outlineSize;
            box.height += outlineSize;
        }
    }
    int64_t height;
    if (static_cast<float>(style.fontSize) > box.height) {
        box.height = static_cast<float>(style.fontSize);
        height = style.fontSize;
    } else {
        height = TruncateSide(box.height);
    }
    result.width = EvenAndClamped(TruncateSide(box.width));
    result.height = EvenAndClamped(height);
    result.box = box;
    result.backgroundFillsBuffer =
        !(static_cast<float>(result.width) > box.width || static_cast<float>(result.height) > box.height);
    result.textX = box.x;
    result.textY = box.y;
    if (measured && style.outline) {
        result.textX += outlineSize * 0.5f;
        result.textY += outlineSize * 0.5f;
    }
    return result;
}

void DrawOutlinedText(cairo_t* surface, const TextLayout& text, float originX, float originY, uint32_t textBrush,
                      const TextStyle& style, CoverageLayer& strokeLayer, CoverageLayer& fillLayer) {
    const int width = cairo_image_surface_get_width(cairo_get_target(surface));
    const int height = cairo_image_surface_get_height(cairo_get_target(surface));
    const float strokeWidth = std::min(SaneOutlineSize(style.outlineSize), kMaxOutlineStroke);
    if (strokeWidth > 0.0f) {
        strokeLayer.Reset(width, height);
        AddGlyphCoverage(strokeLayer, text.Glyphs(), originX, originY, strokeWidth);
        strokeLayer.AddUnderlines(text.Underlines(), originX, originY, strokeWidth);
        strokeLayer.Composite(surface, WithAlpha(OutlineAlpha(style.outlineOpacity, style.textOpacity), style.outlineColor));
    }
    fillLayer.Reset(width, height);
    AddGlyphCoverage(fillLayer, text.Glyphs(), originX, originY, 0.0f);
    fillLayer.AddUnderlines(text.Underlines(), originX, originY, 0.0f);
    fillLayer.Composite(surface, textBrush);
    DrawColourGlyphs(surface, text.Glyphs(), originX, originY, static_cast<uint8_t>(textBrush >> 24));
}

namespace {

// straight = (c * 255 + a / 2) / a with c <= a is at most 255.5, where a
// single-precision quotient is exact enough for its floor to be the integer
// quotient; eight pixels are done at once, one per 32-bit lane.
template <int Shift>
__attribute__((target("avx2"))) inline __m256i StraightChannel(__m256i pixels, __m256i half, __m256 divisor) {
    const __m256i c = _mm256_and_si256(_mm256_srli_epi32(pixels, Shift), _mm256_set1_epi32(0xFF));
    const __m256i n = _mm256_add_epi32(_mm256_sub_epi32(_mm256_slli_epi32(c, 8), c), half);
    const __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(n), divisor));
    return _mm256_slli_epi32(_mm256_min_epi32(q, _mm256_set1_epi32(0xFF)), Shift);
}

__attribute__((target("avx2"))) size_t UnpremultiplyEights(uint8_t* pixels, size_t pixelCount) {
    const __m256i full = _mm256_set1_epi32(0xFF);
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i zero = _mm256_setzero_si256();
    size_t i = 0;
    for (; i + 8 <= pixelCount; i += 8) {
        auto* eight = reinterpret_cast<__m256i*>(pixels + i * 4);
        const __m256i v = _mm256_loadu_si256(eight);
        const __m256i a = _mm256_srli_epi32(v, 24);
        const __m256i transparent = _mm256_cmpeq_epi32(a, zero);
        if (_mm256_movemask_epi8(_mm256_or_si256(transparent, _mm256_cmpeq_epi32(a, full))) == -1)
            continue;
        const __m256 divisor = _mm256_cvtepi32_ps(_mm256_max_epi32(a, one));
        const __m256i half = _mm256_srli_epi32(a, 1);
        __m256i result = _mm256_or_si256(_mm256_or_si256(StraightChannel<0>(v, half, divisor), StraightChannel<8>(v, half, divisor)),
                                          StraightChannel<16>(v, half, divisor));
        result = _mm256_or_si256(result, _mm256_slli_epi32(a, 24));
        // Fully transparent pixels stay as they are, as in the scalar rule.
        result = _mm256_blendv_epi8(result, v, transparent);
        _mm256_storeu_si256(eight, result);
    }
    return i;
}

}  // namespace

void UnpremultiplyPixels(uint8_t* pixels, size_t pixelCount) {
    // straight[a][c] = (c * 255 + a / 2) / a, for every alpha and colour byte.
    static const auto table = [] {
        auto values = std::make_unique<std::array<uint8_t, 256 * 256>>();
        for (unsigned a = 1; a < 256; ++a)
            for (unsigned c = 0; c < 256; ++c)
                (*values)[a * 256 + c] = static_cast<uint8_t>(std::min(255u, (c * 255 + a / 2) / a));
        return values;
    }();
    static const bool haveAvx2 = __builtin_cpu_supports("avx2");
    auto convert = [&](uint8_t* pixel) {
        const unsigned a = pixel[3];
        if (a == 0 || a == 255)
            return;
        const uint8_t* row = &(*table)[a * 256];
        pixel[0] = row[pixel[0]];
        pixel[1] = row[pixel[1]];
        pixel[2] = row[pixel[2]];
    };
    size_t i = haveAvx2 ? UnpremultiplyEights(pixels, pixelCount) : 0;
    // Most pixels are fully transparent or fully opaque and need nothing:
    // four at a time are checked and skipped together.
    const __m128i alphaBits = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= pixelCount; i += 4) {
        uint8_t* four = pixels + i * 4;
        const __m128i alphas = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(four)), alphaBits);
        const __m128i settled = _mm_or_si128(_mm_cmpeq_epi32(alphas, zero), _mm_cmpeq_epi32(alphas, alphaBits));
        if (_mm_movemask_epi8(settled) == 0xFFFF)
            continue;
        for (int k = 0; k < 4; ++k)
            convert(four + k * 4);
    }
    for (; i < pixelCount; ++i)
        convert(pixels + i * 4);
}

TextRasteriser::TextRasteriser() = default;

const uint8_t* TextRasteriser::Pixels() const {
    return surface_ ? cairo_image_surface_get_data(surface_.get()) : nullptr;
}

void TextRasteriser::UpdateTexture(const String& text, const TextStyle& style, SourceTexture& target) {
    const std::u16string_view drawn = DrawnText(text);
    if (havePixels_ && drawn == lastText_ && style == lastStyle_ && injectedBox_ == lastInjectedBox_) {
        HandOver(target);
        return;
    }
    havePixels_ = false;
    lastText_.assign(drawn);
    if (!Draw(lastText_, style))
        return;
    lastStyle_ = style;
    lastInjectedBox_ = injectedBox_;
    havePixels_ = true;
    static std::atomic<uint64_t> drawings{0};
    generation_ = ++drawings;
    HandOver(target);
}

bool TextRasteriser::Draw(const std::u16string& text, const TextStyle& style) {
    const std::optional<TextFont> font = CreateTextFont(style.fontName, style.fontSize, style.bold, style.italic);
    if (!font)
        return false;

    std::optional<TextBox> measured;
    if (!text.empty()) {
        TextBox box = textLayout_.Lay(Utf16ToUtf8(text), *font, style.underline);
        if (const cairo_status_t status = PrimaryFontStatus(*font); status != CAIRO_STATUS_SUCCESS) {
            AppWarning(u"TextSource::UpdateTexture: Gdiplus::Graphics::MeasureString failed: %u", static_cast<unsigned>(status));
            box = TextBox{};
        }
        measured = injectedBox_ ? *injectedBox_ : box;
    }
    layout_ = ComputeTextureLayout(measured, style);

    if (!surface_ || cairo_image_surface_get_width(surface_.get()) != layout_.width ||
        cairo_image_surface_get_height(surface_.get()) != layout_.height) {
        surface_.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, layout_.width, layout_.height));
        cr_.reset(cairo_create(surface_.get()));
    }
    cairo_t* cr = cr_.get();

    // The background: transparent for empty text. Drawn before the text
    // settings, so the box is filled without anti-aliasing.
    const uint8_t backgroundAlpha = text.empty() ? 0 : BrushAlpha(style.backgroundOpacity);
    const uint32_t background = WithAlpha(backgroundAlpha, style.backgroundColor);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (layout_.backgroundFillsBuffer) {
        SetSourceArgb(cr, background);
        cairo_paint(cr);
    } else {
        cairo_set_source_rgba(cr, 0, 0, 0, 0);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        SetSourceArgb(cr, background);
        cairo_rectangle(cr, layout_.box.x, layout_.box.y, layout_.box.width, layout_.box.height);
        cairo_fill(cr);
    }
    cairo_restore(cr);
    if (const cairo_status_t status = cairo_status(cr); status != CAIRO_STATUS_SUCCESS) {
        AppWarning(u"TextSource::UpdateTexture: Graphics::Clear failed: %u", static_cast<unsigned>(status));
        // No pixel memory: nothing can be handed to the host.
        if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS) {
            surface_.reset();
            cr_.reset();
            return false;
        }
    }

    if (!text.empty()) {
        const uint32_t brush = WithAlpha(BrushAlpha(style.textOpacity), style.color);
        if (style.outline) {
            DrawOutlinedText(cr, textLayout_, layout_.textX, layout_.textY, brush, style, strokeLayer_, fillLayer_);
        } else {
            fillLayer_.Reset(layout_.width, layout_.height);
            AddGlyphCoverage(fillLayer_, textLayout_.Glyphs(), layout_.textX, layout_.textY, 0.0f);
            fillLayer_.AddUnderlines(textLayout_.Underlines(), layout_.textX, layout_.textY, 0.0f);
            fillLayer_.Composite(cr, brush);
            DrawColourGlyphs(cr, textLayout_.Glyphs(), layout_.textX, layout_.textY, static_cast<uint8_t>(brush >> 24));
            if (const cairo_status_t status = cairo_status(cr); status != CAIRO_STATUS_SUCCESS)
                AppWarning(u"TextSource::UpdateTexture: Graphics::DrawString failed: %u", static_cast<unsigned>(status));
        }
    }

    cairo_surface_flush(surface_.get());
    UnpremultiplyPixels(cairo_image_surface_get_data(surface_.get()),
                        static_cast<size_t>(layout_.width) * static_cast<size_t>(layout_.height));
    cairo_surface_mark_dirty(surface_.get());
    return true;
}

void TextRasteriser::HandOver(SourceTexture& target) {
    const uint8_t* pixels = Pixels();
    const std::unique_lock<std::mutex> drawing = HoldHostDrawing();
    if (layout_.width == target.width && layout_.height == target.height && target.texture) {
        target.texture->SetImage(pixels, GS_IMAGEFORMAT_BGRA, static_cast<unsigned>(layout_.width) * 4, generation_);
        return;
    }
    if (target.texture) {
        GS->DeleteTexture(target.texture);
        target.texture = nullptr;
    }
    target.width = layout_.width;
    target.height = layout_.height;
    // A creation that fails is tried again on the next call even at the same
    // size, so one failure does not leave the source invisible.
    if (GS)
        target.texture = GS->CreateTexture(static_cast<unsigned>(layout_.width), static_cast<unsigned>(layout_.height),
                                           GS_BGRA, pixels, false, false);
}
