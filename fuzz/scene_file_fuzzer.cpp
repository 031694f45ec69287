// SPDX-License-Identifier: GPL-2.0-or-later
// The scene-file loader: any text as a scene file. A parse either succeeds
// with an object at the top or fails with a message naming the file; a parsed
// document goes through scenehost's scene model, which accepts it or names
// the field it refuses, and then its sources' settings are read and written
// through XElement as a plug-in would, and the document saves again.
#include "host/host_control.h"
#include "host/scene_document.h"
#include "scenehost/scene_model.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetLogToStderr(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SceneDocument scene;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const SceneFileResult result = scene.Parse(text, "scene.json");
    if (!result.ok) {
        if (result.error.rfind("scene.json", 0) != 0) std::abort();
        return 0;
    }
    if (!scene.Json().is_object()) std::abort();

    std::string error;
    const std::optional<Scene> model = ReadScene(scene, "scene.json", error);
    if (!model) {
        if (error.rfind("scene.json", 0) != 0) std::abort();
        return 0;
    }
    if (model->width < 1 || model->height < 1 || model->width > 8192 || model->height > 8192) std::abort();
    for (const SceneSource& source : model->sources) {
        if (!source.element || !source.data) std::abort();
        XElement* settings = source.data;
        (void)settings->GetInt(u"fontSize", 48);
        (void)settings->GetInt(u"color", -1);
        (void)settings->GetFloat(u"outlineSize", 2.0f);
        (void)settings->GetString(u"font", u"Arial");
        (void)settings->HasItem(u"innerId");
        settings->SetString(u"innerId", u"7");
        settings->SetFloat(u"baseSizeCX", 10.5f);
        if (XElement* nested = settings->CreateElement(u"extra")) nested->SetInt(u"n", 1);
    }
    (void)scene.Json().dump(4);
    return 0;
}
