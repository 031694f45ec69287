// SPDX-License-Identifier: GPL-2.0-or-later
// What scenehost reads from a scene file: the canvas and the sources in
// drawing order, each with the elements the plug-in sees as XElement.
#pragma once

#include "host/OBSApi.h"
#include "host/scene_document.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct SceneSource {
    std::string name;
    String className;
    Vect2 position;
    std::optional<Vect2> size;   // "cx"/"cy"; absent: the source's own size
    XElement* element = nullptr; // the source's element in "sources"
    XElement* data = nullptr;    // its settings, "data"
};

struct Scene {
    int width = 1280;
    int height = 720;
    uint32_t background = 0xFF000000;  // 0xAARRGGBB
    std::vector<SceneSource> sources;
};

// Reads the scene held by `document`, checking every field scenehost uses;
// a source without "data" gets an empty one. On a problem, `error` names the
// file and the field.
std::optional<Scene> ReadScene(SceneDocument& document, const std::string& path, std::string& error);

// "#RRGGBB" or "#AARRGGBB" as 0xAARRGGBB (opaque when the alpha is left out).
std::optional<uint32_t> ParseHexColor(const std::string& text);
