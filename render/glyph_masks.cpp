// SPDX-License-Identifier: GPL-2.0-or-later
#include "render/glyph_masks.h"

#include <cairo-ft.h>
#include <pango/pangocairo.h>
#include FT_OUTLINE_H

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <limits>
#include <type_traits>

namespace {

// Glyph positions are kept to a quarter pixel: finer than the eye tells
// apart, coarse enough that a few renders per glyph serve every position.
constexpr int kPhases = 4;

// Masks above this size are drawn for the one use and not kept.
constexpr size_t kLargestCachedMask = 1u << 20;
// When the cache holds more than this, it starts over, so memory stays flat
// however many different glyphs and sizes come by.
constexpr size_t kCacheBudget = 32u << 20;

// A glyph outline in FreeType's form (26.6 fixed point, y up), built from the
// path Cairo gives for the glyph, so synthetic bold and slant are included.
// The element types follow FreeType's declaration, which became unsigned in
// 2.13.3; the limit on sizes is the signed one, which both versions hold.
class OutlineBuilder {
    using Tag = std::remove_pointer_t<decltype(FT_Outline::tags)>;
    using ContourEnd = std::remove_pointer_t<decltype(FT_Outline::contours)>;

public:
    bool Build(const cairo_path_t* path) {
        points_.clear();
        tags_.clear();
        contours_.clear();
        size_t contourStart = 0;
        auto closeContour = [&] {
            if (points_.size() > contourStart) {
                // FreeType closes contours itself; a repeated first point
                // would only add a zero-length segment to stroke.
                if (points_.size() - contourStart > 1 && points_.back().x == points_[contourStart].x &&
                    points_.back().y == points_[contourStart].y && tags_.back() == FT_CURVE_TAG_ON) {
                    points_.pop_back();
                    tags_.pop_back();
                }
                contours_.push_back(static_cast<ContourEnd>(points_.size() - 1));
            }
            contourStart = points_.size();
        };
        auto add = [&](const cairo_path_data_t& point, Tag tag) {
            points_.push_back({std::lround(point.point.x * 64.0), std::lround(-point.point.y * 64.0)});
            tags_.push_back(tag);
        };
        for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
            const cairo_path_data_t* data = &path->data[i];
            switch (data->header.type) {
            case CAIRO_PATH_MOVE_TO:
                closeContour();
                add(data[1], FT_CURVE_TAG_ON);
                break;
            case CAIRO_PATH_LINE_TO:
                add(data[1], FT_CURVE_TAG_ON);
                break;
            case CAIRO_PATH_CURVE_TO:
                add(data[1], FT_CURVE_TAG_CUBIC);
                add(data[2], FT_CURVE_TAG_CUBIC);
                add(data[3], FT_CURVE_TAG_ON);
                break;
            case CAIRO_PATH_CLOSE_PATH:
                closeContour();
                break;
            }
        }
        closeContour();
        return points_.size() <= static_cast<size_t>(std::numeric_limits<short>::max()) &&
               contours_.size() <= static_cast<size_t>(std::numeric_limits<short>::max());
    }

    FT_Outline View() {
        FT_Outline outline{};
        outline.n_contours = static_cast<decltype(outline.n_contours)>(contours_.size());
        outline.n_points = static_cast<decltype(outline.n_points)>(points_.size());
        outline.points = points_.data();
        outline.tags = tags_.data();
        outline.contours = contours_.data();
        outline.flags = FT_OUTLINE_NONE;
        return outline;
    }

private:
    std::vector<FT_Vector> points_;
    std::vector<Tag> tags_;
    std::vector<ContourEnd> contours_;
};

class GlyphMaskCache {
public:
    GlyphMaskCache() {
        FT_Library library = nullptr;
        FT_Init_FreeType(&library);
        library_.reset(library);
        FT_Stroker stroker = nullptr;
        if (library)
            FT_Stroker_New(library, &stroker);
        stroker_.reset(stroker);
        scratchSurface_.reset(cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1));
        scratch_.reset(cairo_create(scratchSurface_.get()));
    }

    const GlyphMask& Get(PangoFont* font, PangoGlyph glyph, int phaseX, int phaseY, float strokeWidth) {
        cairo_scaled_font_t* scaledFont = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
        const Key key{scaledFont, glyph, phaseX, phaseY, std::bit_cast<uint32_t>(strokeWidth)};
        auto found = masks_.find(key);
        if (found != masks_.end())
            return found->second;

        Render(scaledFont, glyph, phaseX, phaseY, strokeWidth, uncached_);
        const size_t size = uncached_.coverage.size();
        if (size > kLargestCachedMask || !scaledFont)
            return uncached_;
        MakeRoom(size + sizeof(GlyphMask) + 64);
        KeepFont(scaledFont);
        return masks_.emplace(key, std::move(uncached_)).first->second;
    }

    // Whether the font draws the glyph as a colour bitmap (an emoji font's
    // glyph), which keeps its own colours rather than taking the text's.
    bool IsColour(PangoFont* font, PangoGlyph glyph) {
        cairo_scaled_font_t* scaledFont = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
        if (!scaledFont || cairo_scaled_font_status(scaledFont) != CAIRO_STATUS_SUCCESS ||
            cairo_scaled_font_get_type(scaledFont) != CAIRO_FONT_TYPE_FT)
            return false;
        const ColourKey key{scaledFont, glyph};
        if (auto found = colour_.find(key); found != colour_.end())
            return found->second;
        bool colour = false;
        if (FT_Face face = cairo_ft_scaled_font_lock_face(scaledFont)) {
            if (FT_HAS_COLOR(face) && FT_Load_Glyph(face, glyph, FT_LOAD_COLOR) == 0)
                colour = face->glyph->format == FT_GLYPH_FORMAT_BITMAP &&
                         face->glyph->bitmap.pixel_mode == FT_PIXEL_MODE_BGRA;
            cairo_ft_scaled_font_unlock_face(scaledFont);
        }
        MakeRoom(64);
        KeepFont(scaledFont);
        colour_.emplace(key, colour);
        return colour;
    }

private:
    using Key = std::tuple<cairo_scaled_font_t*, PangoGlyph, int, int, uint32_t>;
    using ColourKey = std::pair<cairo_scaled_font_t*, PangoGlyph>;

    void MakeRoom(size_t bytes) {
        if (bytes_ + bytes > kCacheBudget) {
            masks_.clear();
            colour_.clear();
            fonts_.clear();
            bytes_ = 0;
        }
        bytes_ += bytes;
    }

    // The cache holds a reference to each font it keys on, so a key's font
    // address cannot be reused by another font while the key lives.
    void KeepFont(cairo_scaled_font_t* scaledFont) {
        if (fonts_.find(scaledFont) == fonts_.end())
            fonts_.emplace(scaledFont, CairoScaledFontPtr(cairo_scaled_font_reference(scaledFont)));
    }

    void Render(cairo_scaled_font_t* scaledFont, PangoGlyph glyph, int phaseX, int phaseY, float strokeWidth,
                GlyphMask& mask) {
        mask = GlyphMask{};
        if (!scaledFont || !library_ || cairo_scaled_font_status(scaledFont) != CAIRO_STATUS_SUCCESS)
            return;
        cairo_new_path(scratch_.get());
        cairo_set_scaled_font(scratch_.get(), scaledFont);
        cairo_glyph_t cairoGlyph{glyph, static_cast<double>(phaseX) / kPhases, static_cast<double>(phaseY) / kPhases};
        cairo_glyph_path(scratch_.get(), &cairoGlyph, 1);
        CairoPathPtr path(cairo_copy_path(scratch_.get()));
        cairo_new_path(scratch_.get());
        if (!path || path->status != CAIRO_STATUS_SUCCESS || !outline_.Build(path.get()))
            return;
        FT_Outline source = outline_.View();
        if (source.n_points == 0)
            return;

        FT_Outline stroked{};
        FT_Outline* toRender = &source;
        if (strokeWidth > 0.0f) {
            if (!stroker_)
                return;
            FT_Stroker_Set(stroker_.get(), static_cast<FT_Fixed>(std::lround(strokeWidth * 0.5 * 64.0)),
                           FT_STROKER_LINECAP_ROUND, FT_STROKER_LINEJOIN_ROUND, 0);
            FT_UInt points = 0, contours = 0;
            if (FT_Stroker_ParseOutline(stroker_.get(), &source, FALSE) != 0 ||
                FT_Stroker_GetCounts(stroker_.get(), &points, &contours) != 0 ||
                FT_Outline_New(library_.get(), points, static_cast<FT_Int>(contours), &stroked) != 0)
                return;
            stroked.n_points = 0;
            stroked.n_contours = 0;
            FT_Stroker_Export(stroker_.get(), &stroked);
            toRender = &stroked;
        }
        RenderOutline(*toRender, mask);
        if (toRender == &stroked)
            FT_Outline_Done(library_.get(), &stroked);
    }

    void RenderOutline(FT_Outline& outline, GlyphMask& mask) {
        FT_BBox box;
        FT_Outline_Get_CBox(&outline, &box);
        const FT_Pos x0 = box.xMin >> 6, y0 = box.yMin >> 6;
        const FT_Pos x1 = (box.xMax + 63) >> 6, y1 = (box.yMax + 63) >> 6;
        if (x1 <= x0 || y1 <= y0)
            return;
        mask.left = static_cast<int>(x0);
        mask.top = static_cast<int>(-y1);
        mask.width = static_cast<int>(x1 - x0);
        mask.height = static_cast<int>(y1 - y0);
        mask.coverage.assign(static_cast<size_t>(mask.width) * mask.height, 0);
        FT_Outline_Translate(&outline, -x0 * 64, -y0 * 64);
        FT_Bitmap bitmap{};
        bitmap.rows = static_cast<unsigned>(mask.height);
        bitmap.width = static_cast<unsigned>(mask.width);
        bitmap.pitch = mask.width;
        bitmap.buffer = mask.coverage.data();
        bitmap.num_grays = 256;
        bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
        FT_Raster_Params params{};
        params.target = &bitmap;
        params.source = &outline;
        params.flags = FT_RASTER_FLAG_AA;
        FT_Outline_Render(library_.get(), &outline, &params);
    }

    FtLibraryPtr library_;
    FtStrokerPtr stroker_;
    CairoSurfacePtr scratchSurface_;
    CairoPtr scratch_;
    OutlineBuilder outline_;
    std::map<Key, GlyphMask> masks_;
    std::map<ColourKey, bool> colour_;
    std::map<cairo_scaled_font_t*, CairoScaledFontPtr> fonts_;
    size_t bytes_ = 0;
    GlyphMask uncached_;
};

GlyphMaskCache& SharedGlyphMasks() {
    static GlyphMaskCache cache;
    return cache;
}

int FloorDiv(int value, int divisor) {
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

}  // namespace

void CoverageLayer::Reset(int width, int height) {
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, width);
    if (width != width_ || height != height_ || stride != stride_) {
        width_ = width;
        height_ = height;
        stride_ = stride;
        data_.assign(static_cast<size_t>(stride) * height, 0);
    } else {
        for (int row = dirtyTop_; row < dirtyBottom_; ++row)
            std::memset(&data_[static_cast<size_t>(row) * stride_ + dirtyLeft_], 0, dirtyRight_ - dirtyLeft_);
    }
    dirtyLeft_ = width_;
    dirtyTop_ = height_;
    dirtyRight_ = 0;
    dirtyBottom_ = 0;
}

void CoverageLayer::Add(const GlyphMask& mask, int x, int y) {
    const int left = std::max(x + mask.left, 0), right = std::min(x + mask.left + mask.width, width_);
    const int top = std::max(y + mask.top, 0), bottom = std::min(y + mask.top + mask.height, height_);
    if (left >= right || top >= bottom)
        return;
    for (int row = top; row < bottom; ++row) {
        uint8_t* target = &data_[static_cast<size_t>(row) * stride_ + left];
        const uint8_t* source =
            &mask.coverage[static_cast<size_t>(row - y - mask.top) * mask.width + (left - x - mask.left)];
        const int count = right - left;
        int i = 0;
        for (; i + 16 <= count; i += 16) {
            const __m128i sum = _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(target + i)),
                                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(target + i), sum);
        }
        for (; i < count; ++i) {
            const unsigned sum = target[i] + source[i];
            target[i] = static_cast<uint8_t>(sum > 255 ? 255 : sum);
        }
    }
    dirtyLeft_ = std::min(dirtyLeft_, left);
    dirtyTop_ = std::min(dirtyTop_, top);
    dirtyRight_ = std::max(dirtyRight_, right);
    dirtyBottom_ = std::max(dirtyBottom_, bottom);
}

void CoverageLayer::AddUnderlines(const std::vector<UnderlineSpan>& spans, double originX, double originY,
                                  float strokeWidth) {
    if (spans.empty() || width_ == 0 || height_ == 0)
        return;
    CairoSurfacePtr surface(cairo_image_surface_create_for_data(data_.data(), CAIRO_FORMAT_A8, width_, height_, stride_));
    CairoPtr cr(cairo_create(surface.get()));
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_ADD);
    for (const UnderlineSpan& span : spans)
        cairo_rectangle(cr.get(), originX + span.x, originY + span.top, span.width, span.thickness);
    double x1, y1, x2, y2;
    if (strokeWidth > 0.0f) {
        cairo_set_line_width(cr.get(), strokeWidth);
        cairo_set_line_join(cr.get(), CAIRO_LINE_JOIN_ROUND);
        cairo_stroke_extents(cr.get(), &x1, &y1, &x2, &y2);
        cairo_stroke(cr.get());
    } else {
        cairo_fill_extents(cr.get(), &x1, &y1, &x2, &y2);
        cairo_fill(cr.get());
    }
    cairo_surface_flush(surface.get());
    dirtyLeft_ = std::clamp(std::min(dirtyLeft_, static_cast<int>(std::floor(x1))), 0, width_);
    dirtyTop_ = std::clamp(std::min(dirtyTop_, static_cast<int>(std::floor(y1))), 0, height_);
    dirtyRight_ = std::clamp(std::max(dirtyRight_, static_cast<int>(std::ceil(x2))), 0, width_);
    dirtyBottom_ = std::clamp(std::max(dirtyBottom_, static_cast<int>(std::ceil(y2))), 0, height_);
}

void CoverageLayer::Composite(cairo_t* target, uint32_t argb) {
    if (dirtyLeft_ >= dirtyRight_ || dirtyTop_ >= dirtyBottom_)
        return;
    CairoSurfacePtr surface(cairo_image_surface_create_for_data(data_.data(), CAIRO_FORMAT_A8, width_, height_, stride_));
    cairo_save(target);
    cairo_rectangle(target, dirtyLeft_, dirtyTop_, dirtyRight_ - dirtyLeft_, dirtyBottom_ - dirtyTop_);
    cairo_clip(target);
    cairo_set_operator(target, CAIRO_OPERATOR_OVER);
    cairo_set_source_rgba(target, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                          (argb >> 24) / 255.0);
    cairo_mask_surface(target, surface.get(), 0, 0);
    cairo_restore(target);
}

void AddGlyphCoverage(CoverageLayer& layer, const std::vector<PlacedGlyph>& glyphs, double originX, double originY,
                      float strokeWidth) {
    GlyphMaskCache& cache = SharedGlyphMasks();
    for (const PlacedGlyph& placed : glyphs) {
        if (!placed.font)
            continue;
        // A colour glyph is drawn in its own colours (DrawColourGlyphs); only
        // its outline is the text's. Asked for in its text form, it is a
        // silhouette like any letter.
        if (strokeWidth == 0.0f && !placed.textForm && cache.IsColour(placed.font, placed.glyph))
            continue;
        const double x = (originX + placed.x) * kPhases, y = (originY + placed.y) * kPhases;
        // Far outside the buffer (an 8192-wide clamp cuts long texts): skip
        // before the position could overflow an int.
        if (!(std::fabs(x) < 1e8 && std::fabs(y) < 1e8))
            continue;
        const int quarterX = static_cast<int>(std::lround(x)), quarterY = static_cast<int>(std::lround(y));
        const int pixelX = FloorDiv(quarterX, kPhases), pixelY = FloorDiv(quarterY, kPhases);
        const GlyphMask& mask =
            cache.Get(placed.font, placed.glyph, quarterX - pixelX * kPhases, quarterY - pixelY * kPhases, strokeWidth);
        layer.Add(mask, pixelX, pixelY);
    }
}

void DrawColourGlyphs(cairo_t* target, const std::vector<PlacedGlyph>& glyphs, double originX, double originY,
                      uint8_t alpha) {
    GlyphMaskCache& cache = SharedGlyphMasks();
    std::vector<const PlacedGlyph*> colour;
    for (const PlacedGlyph& placed : glyphs)
        if (placed.font && !placed.textForm && std::fabs(placed.x) < 1e8 && std::fabs(placed.y) < 1e8 &&
            cache.IsColour(placed.font, placed.glyph))
            colour.push_back(&placed);
    if (colour.empty() || alpha == 0)
        return;
    cairo_save(target);
    // The group covers the colour glyphs only, not the whole buffer.
    cairo_new_path(target);
    for (const PlacedGlyph* placed : colour) {
        cairo_scaled_font_t* scaledFont = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(placed->font));
        cairo_glyph_t glyph{placed->glyph, originX + placed->x, originY + placed->y};
        cairo_text_extents_t extents;
        cairo_scaled_font_glyph_extents(scaledFont, &glyph, 1, &extents);
        cairo_rectangle(target, glyph.x + extents.x_bearing - 1, glyph.y + extents.y_bearing - 1, extents.width + 2,
                        extents.height + 2);
    }
    cairo_clip(target);
    cairo_push_group(target);
    cairo_set_source_rgba(target, 0, 0, 0, 1);
    for (const PlacedGlyph* placed : colour) {
        cairo_set_scaled_font(target, pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(placed->font)));
        cairo_glyph_t glyph{placed->glyph, originX + placed->x, originY + placed->y};
        cairo_show_glyphs(target, &glyph, 1);
    }
    cairo_pop_group_to_source(target);
    cairo_paint_with_alpha(target, alpha / 255.0);
    cairo_restore(target);
}
