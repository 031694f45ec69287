// SPDX-License-Identifier: GPL-2.0-or-later
// Opening a scene the way the headless hosts do: the scene file read and
// checked, the renderer installed, the plug-ins beside the host loaded and
// every source's class known. Shared by scenehost and the stress host.
#pragma once

#include "host/OBSApi.h"
#include "host/cairo_graphics.h"
#include "host/scene_document.h"
#include "scenehost/plugin_loader.h"
#include "scenehost/scene_model.h"

#include <memory>
#include <optional>
#include <string>

using SourcePtr = std::unique_ptr<ImageSource>;

struct Session {
    SceneDocument document;
    Scene scene;
    CairoGraphics canvas;
    std::optional<ScopedGraphicsSystem> graphics;
    PluginSet plugins;
};

// Changes into the folder of the running executable: the plug-ins find their
// files by paths relative to the host's folder, as they do under the host
// they were written for. `hostName` names the executable in the error.
bool EnterOwnFolder(const std::string& hostName, std::string& error);

// Reads and checks the scene, makes sure it can be saved beside itself, sizes
// the canvas, installs the renderer, then loads the plug-ins (LoadScenePlugins).
bool OpenSession(Session& session, const std::string& scenePath, std::string& error);

// Loads the plug-ins in plugins/ and checks that every source of the scene
// has a class one of them registered; the error lists the known classes.
bool LoadScenePlugins(Session& session, const std::string& scenePath, std::string& error);

// A source of the scene, created from its settings; null with `error` set
// when its class gives none.
SourcePtr CreateSource(const SceneSource& source, std::string& error);
