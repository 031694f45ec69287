// SPDX-License-Identifier: GPL-2.0-or-later
// What the tests of the reference logic assembly share: the real runtime
// started on the assembly of the build tree, its command journal in a fresh
// file, a scene document, a software renderer as the host's GS, and a pump
// of the test thread's message windows.
#pragma once

#include "bridge/runtime_host.h"
#include "bridge/settings_message.h"
#include "channel/message_window.h"
#include "channel/process_state.h"
#include "host/cairo_graphics.h"
#include "host/host_control.h"
#include "host/scene_document.h"
#include "platform/message_window.h"

#include "tests/test_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace logic_test {

namespace fs = std::filesystem;

// Sources go back to the host allocator through their own operator delete.
using SourcePtr = std::unique_ptr<ImageSource>;

inline fs::path WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

class LogicTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogToStderr(false);
        folder_ = FreshTestFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        journal_ = folder_ / "journal.txt";
        setenv("TAVREL_JOURNAL", journal_.c_str(), 1);
        unsetenv("TAVREL_FORM");
        // Without a form script the reference assembly opens its real form
        // where there is a display; these tests want it cancelled.
        unsetenv("DISPLAY");
        channelRegistry.Clear();
        displayText = defaultHintText;
        redrawPending = true;
        asciiMode = 0;
        graphics.SetCanvasSize(1200, 200);
        ASSERT_EQ(StartRuntime(kLogicAssemblyPath), RuntimeStartOutcome::Started);
    }

    void TearDown() override {
        StopRuntime();  // "quit" ends every replay
        for (size_t i = 0; i < channelRegistry.Size(); ++i)
            if (channelRegistry[i].window) DestroyWindow(channelRegistry[i].window);
        channelRegistry.Clear();
        unsetenv("TAVREL_JOURNAL");
        unsetenv("TAVREL_FORM");
        SetLogToStderr(true);
    }

    std::vector<std::string> Journal() const {
        std::ifstream in(journal_, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    // Pumps the test thread's windows until `done` holds or a minute has
    // passed (a bound for a broken build, not a measurement); counts
    // the messages handled into `handled` when given.
    bool PumpUntil(const std::function<bool()>& done, size_t* handled = nullptr) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            WaitForMessages(std::chrono::milliseconds(50));
            const size_t pumped = PumpMessages();
            if (handled) *handled += pumped;
        }
        return true;
    }

    // Pumps until `until`; how many messages were handled.
    size_t PumpFor(std::chrono::steady_clock::time_point until) {
        size_t handled = 0;
        while (std::chrono::steady_clock::now() < until) {
            WaitForMessages(std::chrono::milliseconds(50));
            handled += PumpMessages();
        }
        return handled;
    }

    // Pumps until `count` messages have been handled (or a minute has
    // passed); the texts the last channel was given on the way, in order.
    std::vector<std::string> PumpMessagesUntilCount(size_t count) {
        std::vector<std::string> texts;
        size_t handled = 0;
        PumpUntil([&] {
            if (Entry().redraw && !Entry().text.IsEmpty()) {
                texts.push_back(Entry().text.ToUtf8());
                Entry().text = String();
            }
            return handled >= count;
        }, &handled);
        return texts;
    }

    // The channel made last.
    ChannelRecord& Entry() { return channelRegistry[channelRegistry.Size() - 1]; }

    // The texts the last channel is given, one per pump, until `count` have
    // arrived.
    std::vector<std::string> CollectTexts(size_t count) {
        std::vector<std::string> texts;
        PumpUntil([&] {
            if (Entry().redraw && !Entry().text.IsEmpty()) {
                texts.push_back(Entry().text.ToUtf8());
                Entry().text = String();
            }
            return texts.size() >= count;
        });
        return texts;
    }

    std::vector<std::string> LogLines() {
        std::vector<std::string> lines;
        for (const String& line : log.Of(LogKind::Line)) lines.push_back(line.ToUtf8());
        return lines;
    }

    // The rightmost column of the canvas with any ink in it; -1 when blank.
    int CanvasInkRight() const {
        const std::vector<uint8_t> canvas = graphics.CanvasPixels();
        int inkRight = -1;
        for (int y = 0; y < graphics.CanvasHeight(); ++y)
            for (int x = 0; x < graphics.CanvasWidth(); ++x)
                if (canvas[(static_cast<size_t>(y) * graphics.CanvasWidth() + x) * 4 + 3]) inkRight = std::max(inkRight, x);
        return inkRight;
    }

    XElement* NewSourceElement(const char* name) { return scene.Root()->CreateElement(String(name).Array()); }

    fs::path folder_;
    fs::path journal_;
    LogCapture log;
    CairoGraphics graphics;
    ScopedGraphicsSystem scoped{&graphics};
    SceneDocument scene;
};

}  // namespace logic_test
