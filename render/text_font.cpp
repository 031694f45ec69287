// SPDX-License-Identifier: GPL-2.0-or-later
#include "render/text_font.h"

#include "render/render_handles.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

namespace {

// A face's metrics in font units; scaled to the font size per call.
struct FaceMetrics {
    std::string family;
    double unitsPerEm = 0.0;
    double cellHeight = 0.0;   // winAscent + winDescent
    double ascender = 0.0;
    double descender = 0.0;    // positive, below the baseline
    double lineGap = 0.0;
    double underlineTop = 0.0; // positive, below the baseline
    double underlineThickness = 0.0;
};

std::vector<std::string> StronglyBoundFamilies(FcPattern* pattern) {
    std::vector<std::string> families;
    FcValue value;
    FcValueBinding binding;
    for (int id = 0; FcPatternGetWithBinding(pattern, FC_FAMILY, id, &value, &binding) == FcResultMatch; ++id) {
        if (value.type == FcTypeString && binding == FcValueBindingStrong)
            families.emplace_back(reinterpret_cast<const char*>(value.u.s));
    }
    return families;
}

std::optional<std::string> MatchedFamily(FcPattern* match, const std::vector<std::string>& wanted) {
    FcChar8* family = nullptr;
    for (int id = 0; FcPatternGetString(match, FC_FAMILY, id, &family) == FcResultMatch; ++id) {
        for (const std::string& name : wanted) {
            if (FcStrCmpIgnoreCase(family, reinterpret_cast<const FcChar8*>(name.c_str())) == 0) {
                FcChar8* primary = nullptr;
                FcPatternGetString(match, FC_FAMILY, 0, &primary);
                return std::string(reinterpret_cast<const char*>(primary));
            }
        }
    }
    return std::nullopt;
}

bool ReadMetrics(const char* file, int index, FaceMetrics& metrics) {
    HbBlobPtr blob(hb_blob_create_from_file_or_fail(file));
    if (!blob)
        return false;
    HbFacePtr face(hb_face_create(blob.get(), static_cast<unsigned>(index)));
    HbFontPtr font(hb_font_create(face.get()));
    metrics.unitsPerEm = hb_face_get_upem(face.get());
    hb_position_t winAscent = 0, winDescent = 0, ulOffset = 0, ulSize = 0;
    hb_font_extents_t extents{};
    hb_font_get_h_extents(font.get(), &extents);
    metrics.ascender = extents.ascender;
    metrics.descender = -extents.descender;
    metrics.lineGap = extents.line_gap;
    if (hb_ot_metrics_get_position(font.get(), HB_OT_METRICS_TAG_HORIZONTAL_CLIPPING_ASCENT, &winAscent) &&
        hb_ot_metrics_get_position(font.get(), HB_OT_METRICS_TAG_HORIZONTAL_CLIPPING_DESCENT, &winDescent) &&
        winAscent + winDescent > 0)
        metrics.cellHeight = winAscent + winDescent;
    else
        metrics.cellHeight = metrics.ascender + metrics.descender;
    if (metrics.cellHeight <= 0 || metrics.unitsPerEm <= 0)
        return false;
    hb_ot_metrics_get_position_with_fallback(font.get(), HB_OT_METRICS_TAG_UNDERLINE_OFFSET, &ulOffset);
    hb_ot_metrics_get_position_with_fallback(font.get(), HB_OT_METRICS_TAG_UNDERLINE_SIZE, &ulSize);
    metrics.underlineTop = -ulOffset;
    metrics.underlineThickness = std::max<hb_position_t>(ulSize, 1);
    return true;
}

std::optional<FaceMetrics> LookUp(const std::string& name, bool bold, bool italic) {
    FcPatternPtr pattern(FcPatternCreate());
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());

    FcResult result = FcResultNoMatch;
    FcPatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match)
        return std::nullopt;
    std::optional<std::string> family = MatchedFamily(match.get(), StronglyBoundFamilies(pattern.get()));
    FcChar8* file = nullptr;
    int index = 0;
    if (!family || FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch)
        return std::nullopt;
    FcPatternGetInteger(match.get(), FC_INDEX, 0, &index);
    FaceMetrics metrics;
    metrics.family = *family;
    if (!ReadMetrics(reinterpret_cast<const char*>(file), index, metrics))
        return std::nullopt;
    return metrics;
}

// Fontconfig matching costs far more than a frame, so each name, weight and
// slant is looked up once. The key is the name as given (31 units at most).
const std::optional<FaceMetrics>& CachedLookUp(const std::string& name, bool bold, bool italic) {
    static std::map<std::tuple<std::string, bool, bool>, std::optional<FaceMetrics>> cache;
    auto key = std::make_tuple(name, bold, italic);
    auto found = cache.find(key);
    if (found == cache.end())
        found = cache.emplace(std::move(key), LookUp(name, bold, italic)).first;
    return found->second;
}

}  // namespace

std::optional<TextFont> FindTextFace(const String& faceName, int32_t fontSize, bool bold, bool italic) {
    const std::string name = faceName.Left(kFaceNameLimit).ToUtf8();
    if (name.empty())
        return std::nullopt;
    const std::optional<FaceMetrics>& metrics = CachedLookUp(name, bold, italic);
    if (!metrics)
        return std::nullopt;
    const double cellHeight = std::clamp(fontSize, kMinFontPixels, kMaxFontPixels);
    const double scale = cellHeight / metrics->cellHeight;
    TextFont font;
    font.family = metrics->family;
    font.bold = bold;
    font.italic = italic;
    font.emSize = metrics->unitsPerEm * scale;
    font.ascent = metrics->ascender * scale;
    font.descent = metrics->descender * scale;
    font.lineGap = metrics->lineGap * scale;
    font.underlineTop = metrics->underlineTop * scale;
    font.underlineThickness = metrics->underlineThickness * scale;
    return font;
}

std::optional<TextFont> CreateTextFont(const String& faceName, int32_t fontSize, bool bold, bool italic) {
    if (!faceName.IsEmpty()) {
        if (std::optional<TextFont> font = FindTextFace(faceName, fontSize, bold, italic))
            return font;
    }
    return FindTextFace(String(u"Arial"), fontSize, bold, italic);
}

std::vector<std::string> InstalledFontFamilies() {
    FcPatternPtr all(FcPatternCreate());
    FcObjectSetPtr family(FcObjectSetBuild(FC_FAMILY, nullptr));
    FcFontSetPtr fonts(FcFontList(nullptr, all.get(), family.get()));
    std::vector<std::string> families;
    for (int i = 0; fonts && i < fonts->nfont; ++i) {
        FcChar8* name = nullptr;
        // A face names its family in several languages; the first is the one
        // fontconfig lists it under.
        if (FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &name) == FcResultMatch)
            families.emplace_back(reinterpret_cast<const char*>(name));
    }
    std::sort(families.begin(), families.end());
    families.erase(std::unique(families.begin(), families.end()), families.end());
    return families;
}
