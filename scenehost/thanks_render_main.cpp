// SPDX-License-Identifier: GPL-2.0-or-later
// thanks-render: the thanks source's style preview. Draws one text through
// the plug-in's own rasteriser, with the style given as options named after
// the source's settings keys, and writes the straight-alpha pixels exactly as
// the source would upload them; or prints the base size the source would
// store for that style.

#include "channel/process_state.h"
#include "host/OBSApi.h"
#include "host/cairo_graphics.h"
#include "host/scene_document.h"
#include "render/base_size.h"
#include "render/text_rasteriser.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <optional>
#include <png.h>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "usage: thanks-render [options] --out FILE TEXT\n"
    "       thanks-render [--font NAME] [--fontSize N] [--bold] [--italic] --base-size TEXT\n"
    "Options, named after the thanks source's settings keys (defaults as the source's):\n"
    "  --font NAME (Arial)  --fontSize N (48)  --bold  --italic  --underline\n"
    "  --outline  --outlineSize N (2)  --outlineColor C  --outlineOpacity N (100)\n"
    "  --color C  --textOpacity N (100)  --backgroundColor C  --backgroundOpacity N (0)\n"
    "Colours C are 0xAARRGGBB, in decimal (as the settings store them) or 0x hex.\n"
    "Prints \"box X Y WIDTH HEIGHT texture W H\"; with --base-size, \"base-size CX CY\"\n"
    "(TEXT is then ignored: the base size always measures the built-in hint).\n";

struct Options {
    TextStyle style;
    std::string out;
    bool baseSize = false;
    std::string text;
};

std::optional<int64_t> ParseInteger(std::string_view text) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2), base = 16;
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<Options> Parse(int argc, char** argv, std::string& error) {
    if (argc < 2) {
        error = "no text given";
        return std::nullopt;
    }
    Options options;
    options.style.fontName = u"Arial";
    options.text = argv[argc - 1];
    for (int i = 1; i < argc - 1; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--bold") options.style.bold = true;
        else if (arg == "--italic") options.style.italic = true;
        else if (arg == "--underline") options.style.underline = true;
        else if (arg == "--outline") options.style.outline = true;
        else if (arg == "--base-size") options.baseSize = true;
        else {
            if (i + 1 >= argc - 1) {
                error = std::string(arg) + " needs a value (the text is the last argument)";
                return std::nullopt;
            }
            const std::string_view value = argv[++i];
            if (arg == "--font") {
                options.style.fontName = String(std::string(value).c_str());
                continue;
            }
            if (arg == "--out") {
                options.out = value;
                continue;
            }
            if (arg == "--outlineSize") {
                float size = 0;
                auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), size);
                if (ec != std::errc() || end != value.data() + value.size() || !std::isfinite(size)) {
                    error = "--outlineSize takes a number, not \"" + std::string(value) + "\"";
                    return std::nullopt;
                }
                options.style.outlineSize = size;
                continue;
            }
            const std::optional<int64_t> number = ParseInteger(value);
            if (!number || *number < INT32_MIN || *number > UINT32_MAX) {
                error = std::string(arg) + " takes a whole number, not \"" + std::string(value) + "\"";
                return std::nullopt;
            }
            const auto asInt = static_cast<int32_t>(static_cast<uint32_t>(*number));
            TextStyle& s = options.style;
            if (arg == "--fontSize") s.fontSize = asInt;
            else if (arg == "--color") s.color = static_cast<uint32_t>(asInt);
            else if (arg == "--textOpacity") s.textOpacity = asInt;
            else if (arg == "--outlineColor") s.outlineColor = static_cast<uint32_t>(asInt);
            else if (arg == "--outlineOpacity") s.outlineOpacity = asInt;
            else if (arg == "--backgroundColor") s.backgroundColor = static_cast<uint32_t>(asInt);
            else if (arg == "--backgroundOpacity") s.backgroundOpacity = asInt;
            else {
                error = "unknown option " + std::string(arg);
                return std::nullopt;
            }
        }
    }
    if (!options.baseSize && options.out.empty()) {
        error = "--out FILE is needed (or --base-size)";
        return std::nullopt;
    }
    return options;
}

// Straight-alpha BGRA written as it is: no premultiplied round trip, so low
// alphas keep their exact colours.
std::string WritePng(const std::string& path, const uint8_t* bgra, int width, int height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_BGRA;
    if (png_image_write_to_file(&image, path.c_str(), 0, bgra, width * 4, nullptr)) return {};
    std::string message = image.message;
    png_image_free(&image);
    return message.empty() ? "cannot write the PNG" : message;
}

int PrintBaseSize(const Options& options) {
    SceneDocument document;
    XElement* settings = document.Root();
    settings->SetString(u"font", options.style.fontName.Array());
    settings->SetInt(u"fontSize", options.style.fontSize);
    settings->SetInt(u"bold", options.style.bold ? 1 : 0);
    settings->SetInt(u"italic", options.style.italic ? 1 : 0);
    MeasureBaseSize(settings, defaultHintText);
    if (!settings->HasItem(u"baseSizeCX")) {
        std::fprintf(stderr, "thanks-render: no base size was measured (see the message above)\n");
        return 1;
    }
    std::printf("base-size %g %g\n", settings->GetFloat(u"baseSizeCX"), settings->GetFloat(u"baseSizeCY"));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string error;
    const std::optional<Options> options = Parse(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "thanks-render: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options->baseSize) return PrintBaseSize(*options);

    // The rasteriser hands its pixels to the host as a texture, as in a run.
    CairoGraphics graphics;
    ScopedGraphicsSystem installed(&graphics);
    TextRasteriser rasteriser;
    SourceTexture texture;
    rasteriser.UpdateTexture(String(options->text.c_str()), options->style, texture);
    const TextureLayout& layout = rasteriser.LastLayout();
    if (texture.texture) graphics.DeleteTexture(texture.texture);

    error = WritePng(options->out, rasteriser.Pixels(), layout.width, layout.height);
    if (!error.empty()) {
        std::fprintf(stderr, "thanks-render: %s: %s\n", options->out.c_str(), error.c_str());
        return 1;
    }
    std::printf("box %g %g %g %g texture %d %d\n", layout.box.x, layout.box.y, layout.box.width, layout.box.height,
                layout.width, layout.height);
    return 0;
}
