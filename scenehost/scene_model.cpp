// SPDX-License-Identifier: GPL-2.0-or-later
#include "scenehost/scene_model.h"

#include <charconv>
#include <cmath>

namespace {

constexpr int kMaxCanvasSide = 8192;

std::optional<Vect2> ReadPair(const SceneJson& object, const char* xKey, const char* yKey, const std::string& where,
                              std::string& error) {
    const bool hasX = object.contains(xKey), hasY = object.contains(yKey);
    if (!hasX && !hasY) return std::nullopt;
    if (hasX != hasY) {
        error = where + ": \"" + xKey + "\" and \"" + yKey + "\" go together";
        return std::nullopt;
    }
    const SceneJson& x = object[xKey];
    const SceneJson& y = object[yKey];
    if (!x.is_number() || !y.is_number() || !std::isfinite(x.get<double>()) || !std::isfinite(y.get<double>()) ||
        std::abs(x.get<double>()) > 1e6 || std::abs(y.get<double>()) > 1e6) {
        error = where + ": \"" + xKey + "\" and \"" + yKey + "\" must be numbers";
        return std::nullopt;
    }
    return Vect2{x.get<float>(), y.get<float>()};
}

bool ReadCanvas(const SceneJson& root, const std::string& path, Scene& scene, std::string& error) {
    if (!root.contains("canvas")) return true;
    const SceneJson& canvas = root["canvas"];
    const std::string where = path + ": \"canvas\"";
    if (!canvas.is_object()) {
        error = where + " must be an object";
        return false;
    }
    for (const char* key : {"width", "height"}) {
        if (!canvas.contains(key)) continue;
        const SceneJson& side = canvas[key];
        if (!side.is_number_integer() || side.get<int64_t>() < 1 || side.get<int64_t>() > kMaxCanvasSide) {
            error = where + ": \"" + key + "\" must be a whole number from 1 to " + std::to_string(kMaxCanvasSide);
            return false;
        }
        (key[0] == 'w' ? scene.width : scene.height) = static_cast<int>(side.get<int64_t>());
    }
    if (canvas.contains("background")) {
        const SceneJson& background = canvas["background"];
        std::optional<uint32_t> color;
        if (background.is_string()) color = ParseHexColor(background.get<std::string>());
        else if (background.is_number_integer() && background.get<int64_t>() >= INT32_MIN &&
                 background.get<int64_t>() <= UINT32_MAX)
            color = static_cast<uint32_t>(background.get<int64_t>());
        if (!color) {
            error = where + ": \"background\" must be \"#RRGGBB\", \"#AARRGGBB\" or a 0xAARRGGBB number";
            return false;
        }
        scene.background = *color;
    }
    return true;
}

}  // namespace

std::optional<uint32_t> ParseHexColor(const std::string& text) {
    if ((text.size() != 7 && text.size() != 9) || text[0] != '#') return std::nullopt;
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(text.data() + 1, text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return text.size() == 7 ? (0xFF000000u | value) : value;
}

std::optional<Scene> ReadScene(SceneDocument& document, const std::string& path, std::string& error) {
    Scene scene;
    SceneJson& root = document.Json();
    if (!ReadCanvas(root, path, scene, error)) return std::nullopt;
    if (!root.contains("sources")) return scene;
    if (!root["sources"].is_object()) {
        error = path + ": \"sources\" must be an object of sources by name";
        return std::nullopt;
    }

    XElement* sources = document.Root()->GetElement(u"sources");
    for (auto& [name, json] : root["sources"].items()) {
        const std::string where = path + ": source \"" + name + "\"";
        // Plug-ins reach a source's element by a NUL-terminated name, so a
        // name with a NUL in it ("\u0000" in the file) names no element.
        if (name.find('\0') != std::string::npos) {
            error = path + ": a source's name must not hold a NUL character (\\u0000)";
            return std::nullopt;
        }
        if (!json.is_object()) {
            error = where + " must be an object";
            return std::nullopt;
        }
        if (!json.contains("class") || !json["class"].is_string() || json["class"].get<std::string>().empty()) {
            error = where + " needs a \"class\" naming its source class";
            return std::nullopt;
        }
        if (json.contains("data") && !json["data"].is_object()) {
            error = where + ": \"data\" must be an object";
            return std::nullopt;
        }
        SceneSource source;
        source.name = name;
        source.className = String(json["class"].get<std::string>().c_str());
        const std::optional<Vect2> position = ReadPair(json, "x", "y", where, error);
        if (!error.empty()) return std::nullopt;
        source.position = position.value_or(Vect2{});
        source.size = ReadPair(json, "cx", "cy", where, error);
        if (!error.empty()) return std::nullopt;
        if (source.size && (source.size->x < 0 || source.size->y < 0)) {
            error = where + ": \"cx\" and \"cy\" must not be negative";
            return std::nullopt;
        }
        const std::u16string key = Utf8ToUtf16(name);
        source.element = sources->GetElement(key.c_str());
        source.data = source.element->GetElement(u"data");
        if (!source.data) source.data = source.element->CreateElement(u"data");
        scene.sources.push_back(std::move(source));
    }
    return scene;
}
