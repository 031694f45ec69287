// SPDX-License-Identifier: GPL-2.0-or-later
// scenehost: the headless broadcasting host. It loads the plug-ins beside it,
// keeps a scene in a JSON file, and either runs the scene's sources frame by
// frame or runs one source's configure action.

#include "host/OBSApi.h"
#include "host/host_control.h"
#include "platform/message_window.h"
#include "scenehost/command_line.h"
#include "scenehost/frame_loop.h"
#include "scenehost/frame_output.h"
#include "scenehost/session.h"

#include <clocale>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    if (!EnterOwnFolder("scenehost", error)) return Fail(error);
    InstallStopHandlers();
    return line->command == CommandLine::Command::Run ? Run(line->run) : Configure(line->configure);
}
