// SPDX-License-Identifier: GPL-2.0-or-later
// libobs started without a window: OpenGL through EGL on the X display (run
// under xvfb-run, where Mesa's software renderer draws), BGRA output frames
// (RGBA output reads back zeros in this libobs version), 48 kHz stereo audio
// as OBS Studio starts it, and the thanks module loaded from a plug-in
// folder (its post-load step run as OBS Studio runs it, its configuration
// in a folder of the process's own). Shared by the module's tests and its
// frame-time benchmark; libobs can be started once in a process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Empty on success, else what failed. The calling thread becomes OBS's UI
// thread, as the frontend's main thread is: libobs hands UI tasks
// (OBS_TASK_UI) to a handler that keeps them for RunUiTasks.
std::string StartHeadlessObs(uint32_t width, uint32_t height, const std::string& moduleDir);
// Where the modules keep their configuration in this process.
std::string HeadlessModuleConfigDir();
// Opens and loads one more OBS module (`file`, its data in `dataDir`); empty
// on success, else what failed.
std::string LoadObsModule(const std::string& file, const std::string& dataDir);
// Sends the thanks text to a source's message window (the number the logic
// assembly got with "init:") as a logic assembly does: SendMessageW of
// WM_COPYDATA, command 1, UTF-16 text, through the platform library the
// module loaded. Returns once the window has taken it; false when the
// platform library is not loaded or the window did not take the message.
bool SendThanksText(intptr_t window, const std::u16string& text);
// Runs the UI tasks queued so far, on the calling thread (the UI thread);
// the number run.
size_t RunUiTasks();
// Runs the UI tasks still queued, then shuts libobs down, which first waits
// for the sources released so far to be destroyed; nothing once it is down.
void StopHeadlessObs();
