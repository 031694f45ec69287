// SPDX-License-Identifier: GPL-2.0-or-later
#include "render/text_layout.h"

#include "platform/loaded_library.h"

#include <pango/pangocairo.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>

namespace {

// GLib's type system keeps pointers into the libraries that register types
// (their type names are interned static strings), so once Pango has been
// used, Pango and the libraries it needs stay loaded for the life of the
// process, even when the host unloads the plug-in that brought them in:
// reloading the plug-in would otherwise crash in the type registry.
bool KeepTypeLibrariesLoaded() {
    KeepLibraryLoaded(reinterpret_cast<const void*>(&pango_cairo_font_map_new));
    return true;
}

struct SharedContexts {
    bool pinned = KeepTypeLibrariesLoaded();
    GObjectPtr<PangoFontMap> fontMap{pango_cairo_font_map_new()};
    GObjectPtr<PangoContext> drawing{MakeContext(LayoutMode::Drawing)};
    GObjectPtr<PangoContext> measuring{MakeContext(LayoutMode::Measuring)};

    PangoContext* MakeContext(LayoutMode mode) {
        PangoContext* context = pango_font_map_create_context(fontMap.get());
        CairoFontOptionsPtr options(cairo_font_options_create());
        if (mode == LayoutMode::Drawing) {
            cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
            cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
            cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
            pango_context_set_round_glyph_positions(context, FALSE);
            // Character set 134 (GB2312) of the original font: fallback
            // glyphs come from a simplified-Chinese face where one exists.
            pango_context_set_language(context, pango_language_from_string("zh-cn"));
        } else {
            cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
            // A fixed neutral language keeps the measurement independent of
            // the process locale.
            pango_context_set_language(context, pango_language_from_string("en"));
        }
        pango_cairo_context_set_font_options(context, options.get());
        return context;
    }
};

SharedContexts& Contexts() {
    static SharedContexts contexts;
    return contexts;
}

bool RunIsUnderlined(const PangoItem* item) {
    for (GSList* node = item->analysis.extra_attrs; node; node = node->next) {
        const auto* attribute = static_cast<const PangoAttribute*>(node->data);
        if (attribute->klass->type == PANGO_ATTR_UNDERLINE &&
            reinterpret_cast<const PangoAttrInt*>(attribute)->value != PANGO_UNDERLINE_NONE)
            return true;
    }
    return false;
}

// The bytes of the control character that starts at `i`, when it is one
// Pango would draw as a box with its hex code (C0 but for the line breaks,
// DEL, C1), else 0.
size_t ControlCharacterAt(const std::string& utf8, size_t i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if ((byte < 0x20 && byte != '\n' && byte != '\r') || byte == 0x7F) return 1;
    if (byte == 0xC2 && i + 1 < utf8.size()) {
        const auto next = static_cast<unsigned char>(utf8[i + 1]);
        if (next >= 0x80 && next <= 0x9F) return 2;
    }
    return 0;
}

bool HoldsControlCharacters(const std::string& utf8) {
    for (size_t i = 0; i < utf8.size(); ++i)
        if (ControlCharacterAt(utf8, i)) return true;
    return false;
}

std::string WithoutControlCharacters(const std::string& utf8) {
    std::string kept;
    kept.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        if (const size_t skip = ControlCharacterAt(utf8, i)) {
            i += skip;
        } else {
            kept.push_back(utf8[i++]);
        }
    }
    return kept;
}

// Whether one glyph's characters ask for the text form: U+FE0E, or a first
// character shown as text by default (Unicode's Emoji_Presentation is no)
// with nothing after it that asks for the emoji form (U+FE0F, a skin tone,
// a keycap, a joiner, a tag).
bool AsksForTextForm(const char* cluster, int32_t length) {
    bool textByDefault = false;
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(cluster, i, length, c);
        if (c == 0xFE0E) return true;
        if (c == 0xFE0F || c == 0x200D || c == 0x20E3 || (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F))
            return false;
        if (start == 0) textByDefault = c >= 0 && !u_hasBinaryProperty(c, UCHAR_EMOJI_PRESENTATION);
    }
    return textByDefault;
}

// The text of the cluster glyph `i` of a run belongs to. Glyphs are in visual
// order, so the next cluster in the text follows the glyph's cluster in a
// left-to-right run and precedes it in a right-to-left one.
std::pair<const char*, int32_t> ClusterOf(const char* text, const PangoGlyphItem* run, int i) {
    const int* clusters = run->glyphs->log_clusters;
    const int start = clusters[i];
    int end = run->item->length;
    const int step = (run->item->analysis.level & 1) ? -1 : 1;
    for (int j = i + step; j >= 0 && j < run->glyphs->num_glyphs; j += step)
        if (clusters[j] != start) {
            end = clusters[j];
            break;
        }
    return {text + run->item->offset + start, end - start};
}

}  // namespace

PangoContext* SharedTextContext(LayoutMode mode) {
    return mode == LayoutMode::Drawing ? Contexts().drawing.get() : Contexts().measuring.get();
}

TextLayout::TextLayout(LayoutMode mode) : layout_(pango_layout_new(SharedTextContext(mode))) {
    pango_layout_set_width(layout_.get(), -1);
}

void TextLayout::SetFont(const TextFont& font, bool underline) {
    if (font_ && *font_ == font && underline_ == underline)
        return;
    PangoFontDescriptionPtr description(pango_font_description_new());
    pango_font_description_set_family(description.get(), font.family.c_str());
    pango_font_description_set_weight(description.get(), font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(description.get(), font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(description.get(), font.emSize * PANGO_SCALE);
    pango_layout_set_font_description(layout_.get(), description.get());
    PangoAttrListPtr attributes(pango_attr_list_new());
    if (underline)
        pango_attr_list_insert(attributes.get(), pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    pango_layout_set_attributes(layout_.get(), attributes.get());
    font_ = font;
    underline_ = underline;
}

TextBox TextLayout::Lay(const std::string& utf8, const TextFont& font, bool underline) {
    SetFont(font, underline);
    if (HoldsControlCharacters(utf8)) {
        const std::string kept = WithoutControlCharacters(utf8);
        pango_layout_set_text(layout_.get(), kept.data(), static_cast<int>(kept.size()));
    } else {
        pango_layout_set_text(layout_.get(), utf8.data(), static_cast<int>(utf8.size()));
    }
    glyphs_.clear();
    underlines_.clear();

    // Pango would make a line as tall as its tallest run, so a line with
    // Chinese fallback glyphs would grow by up to a quarter. Here every line
    // is one line spacing of the primary face and all runs share its baseline.
    const char* laidText = pango_layout_get_text(layout_.get());
    const double lineSpacing = font.LineSpacing();
    double widest = 0.0;
    int lineIndex = 0;
    for (GSList* lineNode = pango_layout_get_lines_readonly(layout_.get()); lineNode; lineNode = lineNode->next, ++lineIndex) {
        auto* line = static_cast<PangoLayoutLine*>(lineNode->data);
        PangoRectangle logical;
        pango_layout_line_get_extents(line, nullptr, &logical);
        widest = std::max(widest, static_cast<double>(logical.x + logical.width) / PANGO_SCALE);
        const double baseline = font.ascent + lineIndex * lineSpacing;
        double x = static_cast<double>(logical.x) / PANGO_SCALE;
        for (GSList* runNode = line->runs; runNode; runNode = runNode->next) {
            auto* run = static_cast<PangoGlyphItem*>(runNode->data);
            const double runStart = x;
            for (int i = 0; i < run->glyphs->num_glyphs; ++i) {
                const PangoGlyphInfo& info = run->glyphs->glyphs[i];
                PangoGlyph glyph = info.glyph;
                if (glyph != PANGO_GLYPH_EMPTY) {
                    // A character no face has shows the face's missing-glyph box.
                    if (glyph & PANGO_GLYPH_UNKNOWN_FLAG)
                        glyph = 0;
                    const auto [cluster, clusterLength] = ClusterOf(laidText, run, i);
                    glyphs_.push_back({run->item->analysis.font, glyph,
                                       x + static_cast<double>(info.geometry.x_offset) / PANGO_SCALE,
                                       baseline + static_cast<double>(info.geometry.y_offset) / PANGO_SCALE,
                                       AsksForTextForm(cluster, clusterLength)});
                }
                x += static_cast<double>(info.geometry.width) / PANGO_SCALE;
            }
            if (RunIsUnderlined(run->item) && x > runStart)
                underlines_.push_back({runStart, x - runStart, baseline + font.underlineTop, font.underlineThickness});
        }
    }
    TextBox box;
    box.width = static_cast<float>(widest);
    box.height = static_cast<float>(lineIndex * lineSpacing);
    return box;
}
