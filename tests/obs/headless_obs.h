// libobs started without a window: OpenGL through EGL on the X display (run
// under xvfb-run, where Mesa's software renderer draws), BGRA output frames
// (RGBA output reads back zeros in this libobs version), and the thanks
// module loaded from a plug-in folder. Shared by the module's tests and its
// frame-time benchmark; libobs can be started once in a process.
#pragma once

#include <cstdint>
#include <string>

// Empty on success, else what failed.
std::string StartHeadlessObs(uint32_t width, uint32_t height, const std::string& moduleDir);
void StopHeadlessObs();
