// SPDX-License-Identifier: GPL-2.0-or-later
// The stress host's three runs. Each opens the scene as scenehost does,
// drives the plug-ins harder and longer than a normal run, prints its figures
// and saves the scene at the end. They return false, with `error` set, only
// when the run could not start; failed checks are recorded in `figures`.
#pragma once

#include "stress/figures.h"
#include "stress/stress_options.h"

#include <string>

// Threads that send log lines and thanks texts to the first source's message
// window while the main thread draws frames as fast as it can.
bool RunMessagesStress(const StressOptions& options, Figures& figures, std::string& error);

// The scene's first source created, run for a few frames and destroyed, again
// and again within one plug-in load.
bool RunSourcesStress(const StressOptions& options, Figures& figures, std::string& error);

// The plug-ins loaded, the scene's sources run for a few frames, the plug-ins
// unloaded, again and again within one process.
bool RunReloadStress(const StressOptions& options, Figures& figures, std::string& error);
