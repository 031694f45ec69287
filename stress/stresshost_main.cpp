// SPDX-License-Identifier: GPL-2.0-or-later
// stresshost: the headless host driven hard. It opens a scene as scenehost
// does, with the same plug-ins from plugins/ beside it, and runs one of the
// stress runs: many threads messaging a source, sources made and destroyed
// over and over, or the plug-ins loaded and unloaded over and over. It
// prints its figures as "key: value" lines and fails when a check does.

#include "scenehost/session.h"
#include "stress/figures.h"
#include "stress/stress_options.h"
#include "stress/stress_runs.h"

#include <clocale>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string error;
    const std::optional<StressOptions> options = ParseStressCommandLine(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "stresshost: %s\n%s", error.c_str(), kStressUsage);
        return 2;
    }
    if (options->command == StressOptions::Command::Help) {
        std::fputs(kStressUsage, stdout);
        return 0;
    }
    if (!EnterOwnFolder("stresshost", error)) {
        std::fprintf(stderr, "stresshost: %s\n", error.c_str());
        return 1;
    }
    Figures figures;
    bool started = false;
    switch (options->command) {
        case StressOptions::Command::Messages:
            figures.Figure("run", "messages");
            started = RunMessagesStress(*options, figures, error);
            break;
        case StressOptions::Command::Sources:
            figures.Figure("run", "sources");
            started = RunSourcesStress(*options, figures, error);
            break;
        case StressOptions::Command::Reload:
            figures.Figure("run", "reload");
            started = RunReloadStress(*options, figures, error);
            break;
        case StressOptions::Command::Help:
            break;
    }
    if (!started) {
        std::fprintf(stderr, "stresshost: %s\n", error.c_str());
        return 1;
    }
    figures.Figure("result", figures.Failed() ? "FAILED" : "passed");
    return figures.Failed() ? 1 : 0;
}
