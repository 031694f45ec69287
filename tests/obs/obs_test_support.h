// SPDX-License-Identifier: GPL-2.0-or-later
// What the OBS module's tests share: libobs started once for the test
// program (headless, under xvfb-run), the module's folder and the assembly's
// command journal, waits that run OBS's UI tasks the way the frontend's main
// thread does, and the output frames read back.
#pragma once

#include "tests/obs/headless_obs.h"

#include <obs.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace obs_test {

// The module's folder as a user installs it (MORVIK_OBS_MODULE_DIR); the
// build tree's own layout when the test is run by hand.
std::string ModuleDir();
// A file in the tests' output folder (MORVIK_TEST_OUTPUT).
std::string OutputPath(const std::string& name);
void WriteFile(const std::string& path, const std::string& text);
std::string ReadFile(const std::string& path);

// Whether OBS's log has had a line holding `text` since the program started
// (the lines are also passed on to libobs's own log output).
bool LogHas(const std::string& text);

// The commands the logic assembly received so far, a line each.
std::vector<std::string> Journal();
bool JournalHas(const std::string& line);
// How many of them begin with `prefix`.
size_t JournalCount(const std::string& prefix);

// Starts libobs with the module before the program's first test and stops it
// after the last: libobs cannot be started twice in a process. The calling
// (main) thread is OBS's UI thread. The assembly's journal is the file
// `journalName` in the output folder, emptied first.
void StartObsForTests(uint32_t width, uint32_t height, const std::string& journalName);

// Runs OBS's UI tasks and checks `condition` until it holds or `limit` has
// passed (a bound for a broken build, not a measurement).
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(60));

// The frames libobs outputs, as BGRA rows (the output format the suite asks
// for), read back on OBS's video thread; the latest one is kept and every
// frame counted.
class FrameGrabber {
public:
    FrameGrabber();
    ~FrameGrabber();
    FrameGrabber(const FrameGrabber&) = delete;
    FrameGrabber& operator=(const FrameGrabber&) = delete;

    struct Frame {
        uint32_t width = 0, height = 0;
        std::vector<uint8_t> bgra;  // width * 4 bytes a row
        const uint8_t* Pixel(uint32_t x, uint32_t y) const { return &bgra[(size_t{y} * width + x) * 4]; }
    };

    Frame Latest();
    uint64_t Count();

private:
    static void Receive(void* param, video_data* frame);

    std::mutex mutex_;
    Frame latest_;
    uint64_t count_ = 0;
};

// The extent of the pixels close to `bgr` in a frame: its top-left corner,
// width and height; width and height 0 when there are none.
struct Extent {
    uint32_t left = 0, top = 0, width = 0, height = 0;
};
Extent ExtentOf(const FrameGrabber::Frame& frame, uint8_t blue, uint8_t green, uint8_t red, int tolerance = 60);
// The green text the frame tests draw on the black canvas.
inline Extent GreenText(const FrameGrabber::Frame& frame) { return ExtentOf(frame, 0, 255, 0, 100); }

// Kept beside the test's other output for a look at the glyphs.
void SaveFrame(const FrameGrabber::Frame& frame, const std::string& name);

// Presses the source's button `name` as OBS's properties view does, on the
// calling thread (OBS's UI thread); "configure" is "Settings…".
void PressButton(obs_source_t* source, const char* name);
inline void PressConfigure(obs_source_t* source) { PressButton(source, "configure"); }
// The label the source's properties view gives the property `name` now.
std::string LabelOf(obs_source_t* source, const char* name);

// Fires the source's hotkey `name` as obs-websocket's TriggerHotkeyByName
// and the frontend do, through libobs's routed hotkey callback.
void TriggerHotkey(obs_source_t* source, const char* name);

// Calls the scripts' procedure morvik_thanks_control; its answer. From a
// thread of its own, as obs-websocket's workers and a Python script's
// threads call, unless `on` names one of OBS's threads (OBS_TASK_GRAPHICS:
// a script's timer; OBS_TASK_UI: a script's button).
enum class Caller { OwnThread, Graphics, Ui };
std::string CallControlProcedure(const std::string& input, const std::string& action, const std::string& gifts = "",
                                 Caller on = Caller::OwnThread);
// The same from a thread of its own, asked again while the answer is
// "busy" (which means not done, so a tool sends it again): for tests of what
// a control answers, not of when, run while the core may still be stopping
// an earlier test's source.
std::string CallControlProcedureOnceDone(const std::string& input, const std::string& action,
                                         const std::string& gifts = "");

// A source created with `settings` (a JSON object) and released with the
// object.
class TestSource {
public:
    TestSource(const char* name, const std::string& json, bool isPrivate = false);
    ~TestSource();
    TestSource(const TestSource&) = delete;
    TestSource& operator=(const TestSource&) = delete;

    obs_source_t* get() const { return source_; }
    obs_data_t* settings() const { return settings_; }
    // The window number of the channel the source got when it was first
    // shown (the first "init:" the assembly received after that), or "". The
    // plug-in keeps it in its own copy of the settings, not in OBS's.
    std::string InnerId() const;
    // Shown on an output channel (0 unless given), or hidden from it.
    void Show(uint32_t channel = 0);
    // Shown as an item of `scene`, which is put on output channel 0.
    void ShowIn(obs_scene_t* scene);
    void Hide(uint32_t channel = 0);

private:
    obs_data_t* settings_;
    obs_source_t* source_;
    size_t shownAt_ = SIZE_MAX;  // the journal's length when first shown
    mutable std::string innerId_;
};

}  // namespace obs_test

template <typename Condition>
bool obs_test::WaitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        RunUiTasks();
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    RunUiTasks();
    return condition();
}

namespace obs_test {
// The test program's main: libobs started for all its tests, the journal in
// `journalName`.
int RunObsTests(int argc, char** argv, uint32_t width, uint32_t height, const std::string& journalName);
}  // namespace obs_test
