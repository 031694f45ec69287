// SPDX-License-Identifier: GPL-2.0-or-later
// Owning handles for the Pango, Cairo, GLib, fontconfig, HarfBuzz and
// FreeType objects the renderer keeps, so each is released exactly once.
#pragma once

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_STROKER_H
#include <glib-object.h>
#include <harfbuzz/hb-ot.h>
#include <harfbuzz/hb.h>
#include <pango/pango.h>

#include <memory>

namespace render_detail {
struct GObjectUnref { void operator()(gpointer object) const { g_object_unref(object); } };
struct CairoDestroy { void operator()(cairo_t* cr) const { cairo_destroy(cr); } };
struct CairoSurfaceDestroy { void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); } };
struct CairoScaledFontDestroy { void operator()(cairo_scaled_font_t* f) const { cairo_scaled_font_destroy(f); } };
struct CairoPathDestroy { void operator()(cairo_path_t* p) const { cairo_path_destroy(p); } };
struct CairoFontOptionsDestroy { void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); } };
struct PangoFontDescriptionFree { void operator()(PangoFontDescription* d) const { pango_font_description_free(d); } };
struct PangoAttrListUnref { void operator()(PangoAttrList* l) const { pango_attr_list_unref(l); } };
struct PangoLayoutIterFree { void operator()(PangoLayoutIter* i) const { pango_layout_iter_free(i); } };
struct FcPatternRelease { void operator()(FcPattern* p) const { ::FcPatternDestroy(p); } };
struct FcObjectSetRelease { void operator()(FcObjectSet* s) const { ::FcObjectSetDestroy(s); } };
struct FcFontSetRelease { void operator()(FcFontSet* s) const { ::FcFontSetDestroy(s); } };
struct HbBlobDestroy { void operator()(hb_blob_t* b) const { hb_blob_destroy(b); } };
struct HbFaceDestroy { void operator()(hb_face_t* f) const { hb_face_destroy(f); } };
struct HbFontDestroy { void operator()(hb_font_t* f) const { hb_font_destroy(f); } };
struct FtLibraryDone { void operator()(FT_Library l) const { FT_Done_FreeType(l); } };
struct FtStrokerDone { void operator()(FT_Stroker s) const { FT_Stroker_Done(s); } };
}  // namespace render_detail

template <typename T>
using GObjectPtr = std::unique_ptr<T, render_detail::GObjectUnref>;
using CairoPtr = std::unique_ptr<cairo_t, render_detail::CairoDestroy>;
using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, render_detail::CairoSurfaceDestroy>;
using CairoScaledFontPtr = std::unique_ptr<cairo_scaled_font_t, render_detail::CairoScaledFontDestroy>;
using CairoPathPtr = std::unique_ptr<cairo_path_t, render_detail::CairoPathDestroy>;
using CairoFontOptionsPtr = std::unique_ptr<cairo_font_options_t, render_detail::CairoFontOptionsDestroy>;
using PangoFontDescriptionPtr = std::unique_ptr<PangoFontDescription, render_detail::PangoFontDescriptionFree>;
using PangoAttrListPtr = std::unique_ptr<PangoAttrList, render_detail::PangoAttrListUnref>;
using PangoLayoutIterPtr = std::unique_ptr<PangoLayoutIter, render_detail::PangoLayoutIterFree>;
using FcPatternPtr = std::unique_ptr<FcPattern, render_detail::FcPatternRelease>;
using FcObjectSetPtr = std::unique_ptr<FcObjectSet, render_detail::FcObjectSetRelease>;
using FcFontSetPtr = std::unique_ptr<FcFontSet, render_detail::FcFontSetRelease>;
using HbBlobPtr = std::unique_ptr<hb_blob_t, render_detail::HbBlobDestroy>;
using HbFacePtr = std::unique_ptr<hb_face_t, render_detail::HbFaceDestroy>;
using HbFontPtr = std::unique_ptr<hb_font_t, render_detail::HbFontDestroy>;
using FtLibraryPtr = std::unique_ptr<std::remove_pointer_t<FT_Library>, render_detail::FtLibraryDone>;
using FtStrokerPtr = std::unique_ptr<std::remove_pointer_t<FT_Stroker>, render_detail::FtStrokerDone>;
