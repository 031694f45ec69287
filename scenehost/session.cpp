// SPDX-License-Identifier: GPL-2.0-or-later
#include "scenehost/session.h"

#include "host/host_control.h"
#include "scenehost/frame_output.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

bool EnterOwnFolder(const std::string& hostName, std::string& error) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        error = "cannot find the " + hostName + " executable: " + ec.message();
        return false;
    }
    if (chdir(self.parent_path().c_str()) != 0) {
        error = "cannot enter " + self.parent_path().string();
        return false;
    }
    return true;
}

bool OpenSession(Session& session, const std::string& scenePath, std::string& error) {
    const SceneFileResult loaded = session.document.Load(scenePath);
    if (!loaded.ok) {
        error = loaded.error;
        return false;
    }
    std::optional<Scene> scene = ReadScene(session.document, scenePath, error);
    if (!scene) return false;
    session.scene = std::move(*scene);

    // The save at the end writes a temporary file beside the scene.
    const std::string sceneFolder = std::filesystem::path(scenePath).parent_path().string();
    if (std::string problem = CheckWritableFolder(sceneFolder, false); !problem.empty()) {
        error = scenePath + ": the scene could not be saved: " + problem;
        return false;
    }
    if (!session.canvas.SetCanvasSize(session.scene.width, session.scene.height)) {
        error = scenePath + ": cannot make a canvas of " + std::to_string(session.scene.width) + " x " +
                std::to_string(session.scene.height);
        return false;
    }
    session.graphics.emplace(&session.canvas);
    // The host runs in its own folder; a gift script named by a relative
    // path in the scene is the scene's neighbour, as the user wrote it.
    setenv("TAVREL_ROOM_FOLDER", std::filesystem::absolute(sceneFolder).c_str(), 0);
    return LoadScenePlugins(session, scenePath, error);
}

bool LoadScenePlugins(Session& session, const std::string& scenePath, std::string& error) {
    session.plugins.LoadFolder("plugins");
    for (const SceneSource& source : session.scene.sources) {
        if (FindRegisteredClass(source.className)) continue;
        std::string known;
        for (const ImageSourceClass& sourceClass : RegisteredClasses())
            known += (known.empty() ? "\"" : ", \"") + sourceClass.className.ToUtf8() + "\"";
        error = scenePath + ": source \"" + source.name + "\" has the class \"" + source.className.ToUtf8() +
                "\", which no loaded plug-in provides (" +
                (known.empty() ? std::string("no plug-in registered a class") : "known classes: " + known) + ")";
        return false;
    }
    return true;
}

SourcePtr CreateSource(const SceneSource& source, std::string& error) {
    SourcePtr created(CreateSourceOfClass(source.className, source.data));
    if (!created) error = "source \"" + source.name + "\": its class created no source";
    return created;
}
