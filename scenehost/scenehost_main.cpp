// scenehost: the headless broadcasting host. It loads the plug-ins beside it,
// keeps a scene in a JSON file, and either runs the scene's sources frame by
// frame or runs one source's configure action.

#include "host/OBSApi.h"
#include "host/cairo_graphics.h"
#include "host/host_control.h"
#include "host/scene_document.h"
#include "platform/message_window.h"
#include "scenehost/command_line.h"
#include "scenehost/frame_loop.h"
#include "scenehost/frame_output.h"
#include "scenehost/plugin_loader.h"
#include "scenehost/scene_model.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNotAccepted = 3;

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

// Ctrl-C and SIGTERM end a run cleanly; a second one, should the shut-down
// hang, ends the process the default way.
void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "scenehost: %s\n", message.c_str());
    return kExitError;
}

// The plug-ins find their files by paths relative to the host's folder, as
// they do under the host they were written for.
bool EnterOwnFolder(std::string& error) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        error = "cannot find the scenehost executable: " + ec.message();
        return false;
    }
    if (chdir(self.parent_path().c_str()) != 0) {
        error = "cannot enter " + self.parent_path().string();
        return false;
    }
    return true;
}

using SourcePtr = std::unique_ptr<ImageSource>;

// What both commands share: the scene read and checked, the renderer
// installed, the plug-ins loaded and every source's class known.
struct Session {
    SceneDocument document;
    Scene scene;
    CairoGraphics canvas;
    std::optional<ScopedGraphicsSystem> graphics;
    PluginSet plugins;
};

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

int Run(const RunOptions& options) {
    std::string error;
    if (!options.outDir.empty()) {
        if (std::string problem = CheckWritableFolder(options.outDir, true); !problem.empty())
            return Fail("output folder refused: " + problem);
    }
    Session session;
    if (!OpenSession(session, options.scenePath, error)) return Fail(error);

    std::vector<SourcePtr> owned;
    std::vector<LiveSource> live;
    for (const SceneSource& source : session.scene.sources) {
        owned.push_back(CreateSource(source, error));
        if (!owned.back()) return Fail(options.scenePath + ": " + error);
    }
    for (size_t i = 0; i < owned.size(); ++i) {
        owned[i]->BeginScene();
        const SceneSource& source = session.scene.sources[i];
        live.push_back({owned[i].get(), source.position, source.size.value_or(owned[i]->GetSize())});
    }

    std::optional<FrameOutput> output;
    if (!options.outDir.empty())
        output.emplace(options.outDir, options.every, session.scene.width, session.scene.height);
    const FrameLoopResult result =
        RunFrames(options, session.canvas, session.scene.background, live, output ? &*output : nullptr, stopRequested);

    std::string summaryError;
    if (output && result.frames > 0) summaryError = output->Finish(session.canvas, result.lastFrame);

    for (const SourcePtr& source : owned) source->EndScene();
    owned.clear();
    session.plugins.UnloadAll();

    const SceneFileResult saved = session.document.Save(options.scenePath);
    if (!saved.ok) return Fail(saved.error);
    if (!result.error.empty()) return Fail("the run stopped: " + result.error);
    if (!summaryError.empty()) return Fail(summaryError);
    std::printf("scene saved: %s\n", options.scenePath.c_str());
    if (output && result.frames > 0) {
        std::printf("summary frames:");
        for (int64_t frame : output->Sheet().Frames()) std::printf(" %lld", static_cast<long long>(frame));
        std::printf("\nsummary: %s\n", output->SummaryPath().c_str());
    }
    return kExitOk;
}

int Configure(const ConfigureOptions& options) {
    std::string error;
    Session session;
    if (!OpenSession(session, options.scenePath, error)) return Fail(error);

    const SceneSource* target = nullptr;
    std::string names;
    for (const SceneSource& source : session.scene.sources) {
        if (source.name == options.sourceName) target = &source;
        names += (names.empty() ? "\"" : ", \"") + source.name + "\"";
    }
    if (!target)
        return Fail(options.scenePath + ": no source is named \"" + options.sourceName + "\"" +
                    (names.empty() ? std::string(" (the scene has none)") : " (sources: " + names + ")"));
    const ImageSourceClass* sourceClass = FindRegisteredClass(target->className);
    if (!sourceClass->configure)
        return Fail("the class \"" + target->className.ToUtf8() + "\" of source \"" + target->name +
                    "\" has no configure action");

    // As in a host showing the scene, the source exists while it is
    // configured, and takes up its new settings when they are accepted.
    SourcePtr source = CreateSource(*target, error);
    if (!source) return Fail(options.scenePath + ": " + error);
    const bool accepted = sourceClass->configure(target->element, false);
    // Setting changes sent to the source's windows while the action ran.
    PumpMessages();
    if (accepted) source->UpdateSettings();
    source.reset();
    session.plugins.UnloadAll();

    if (!accepted) {
        std::printf("configure \"%s\": not accepted; the scene is unchanged\n", target->name.c_str());
        return kExitNotAccepted;
    }
    const SceneFileResult saved = session.document.Save(options.scenePath);
    if (!saved.ok) return Fail(saved.error);
    std::printf("configure \"%s\": accepted; scene saved: %s\n", target->name.c_str(), options.scenePath.c_str());
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string error;
    const std::optional<CommandLine> line = ParseCommandLine(argc, argv, error);
    if (!line) {
        std::fprintf(stderr, "scenehost: %s\n%s", error.c_str(), kUsage);
        return kExitUsage;
    }
    if (line->command == CommandLine::Command::Help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (!EnterOwnFolder(error)) return Fail(error);
    InstallStopHandlers();
    return line->command == CommandLine::Command::Run ? Run(line->run) : Configure(line->configure);
}
