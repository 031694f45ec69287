// SPDX-License-Identifier: GPL-2.0-or-later
// The headless host set up as a streamer would have it: scenehost with the
// real plug-in and the reference logic assembly in its plugins/ folder.
#pragma once

#include "tests/scenehost/test_support.h"

#include <functional>
#include <string>
#include <vector>

// Installs the host into the folder "host" of `temp`; the path of its
// executable.
std::string InstallThanksHost(const TempFolder& temp);

// The right-most column of `png` in rows [top, top + height) whose pixel
// is not `background`, or -1.
int InkRight(const std::string& png, int top, int height, uint32_t background);

// The width of the texture the plug-in draws `text` into, as the style
// preview thanks-render measures it; 0 when it fails.
int PreviewWidth(const std::string& text, int fontSize, const std::string& folder);

// The frames a run has written into `out` (frame-NNNNNN.png), oldest first.
std::vector<std::string> FramesWritten(const std::string& out);

// Waits until the newest frame `host` has written into `out` satisfies
// `shows`; false when the host ends first or only a hang could take as long.
bool WaitForFrameShowing(ChildProcess& host, const std::string& out,
                         const std::function<bool(const std::string& png)>& shows);
