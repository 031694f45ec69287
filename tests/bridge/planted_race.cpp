// SPDX-License-Identifier: GPL-2.0-or-later
// Built only with ThreadSanitizer, never shipped: a race planted on purpose
// in a window procedure that a command call reaches through the logic
// assembly's own user32 call, against a thread that writes the same counter
// without a lock. The command is a source's settings, sent as the plug-in
// sends them (BuildSettingsMessage). The race detector must report it under
// the project's suppressions (CTest looks for this procedure's name in the
// report): our code under a command call is not hidden with the managed
// code around it.
//   bridge_planted_race ASSEMBLY
#include "bridge/runtime_host.h"
#include "bridge/settings_message.h"
#include "host/scene_document.h"
#include "platform/message_window.h"

#include <cstdio>
#include <string>
#include <thread>

namespace {

constexpr uint32_t kPoke = 0x8001;
int plantedCounter = 0;  // the race: two threads, no lock
int procedureCalls = 0;  // this thread's only

intptr_t PlantedRaceProcedure(WindowHandle, uint32_t message, uintptr_t, intptr_t) {
    if (message != kPoke) return 0;
    ++plantedCounter;
    ++procedureCalls;
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || StartRuntime(argv[1]) != RuntimeStartOutcome::Started) return 2;
    const WindowHandle window = CreatePlatformWindow(PlantedRaceProcedure);
    std::thread other([] {
        for (int i = 0; i < 1000; ++i) ++plantedCounter;
    });
    SceneDocument scene;
    XElement* settings = scene.Root()->CreateElement(u"planted")->CreateElement(u"data");
    for (int i = 0; i < 50; ++i) BuildSettingsMessage(settings, window);
    other.join();
    DestroyWindow(window);
    StopRuntime();
    std::printf("%d of 50 command calls reached the window procedure\n", procedureCalls);
    return procedureCalls == 50 ? 0 : 1;
}
