// SPDX-License-Identifier: GPL-2.0-or-later
// scenehost as a user runs it: a copy of the executable in a temporary host
// folder with a plugins/ folder of the test's choosing, and a scene file
// beside it.

#include "tests/scenehost/test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

class ScenehostRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(temp_.Path().empty());
        fs::create_directories(Host() + "/plugins");
        fs::copy_file(SCENEHOST_PATH, Executable());
    }

    std::string Host() const { return temp_.Path() + "/host"; }
    std::string Executable() const { return Host() + "/scenehost"; }
    std::string ScenePath() const { return temp_.Path() + "/scene.json"; }
    std::string Out() const { return temp_.Path() + "/out"; }

    void AddPlugin(const char* path) {
        fs::copy_file(path, Host() + "/plugins/" + fs::path(path).filename().string());
    }

    ProcessResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), Executable());
        return RunProcess(args);
    }

    json SavedScene() const { return json::parse(ReadFile(ScenePath())); }

    TempFolder temp_;
};

// Two squares on a black 100 x 80 canvas: "big" at (10, 20) drawn 30 x 40,
// "small" at (60, 5) with no size of its own, so drawn at the source's 10 x 10.
const char* const kSquareScene = R"({
  "canvas": {"width": 100, "height": 80, "background": "#000000"},
  "sources": {
    "big": {"class": "TestSquare", "x": 10, "y": 20, "cx": 30, "cy": 40, "data": {"color": -16711936}},
    "small": {"class": "TestSquare", "x": 60, "y": 5}
  }
})";

TEST_F(ScenehostRun, RefusesBadScenesByNameAndLeavesThemUntouched) {
    AddPlugin(SQUARE_PLUGIN_PATH);
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"{\n  \"canvas\": {\"width\": 64,\n    \"height\": }\n}\n", "scene.json:3:15: malformed JSON"},
        {R"({"sources": {"a": {"class": "Nope"}}})", "source \"a\" has the class \"Nope\""},
        {R"({"sources": {"a": {"x": 1}}})", "source \"a\" needs a \"class\""},
        {R"({"sources": {"a": {"class": "TestSquare", "cx": "wide", "cy": 3}}})", "\"cx\" and \"cy\" must be numbers"},
        {R"({"sources": {"a": {"class": "TestSquare", "data": 5}}})", "\"data\" must be an object"},
        {R"({"canvas": {"width": 0}})", "\"width\" must be a whole number"},
        {R"({"canvas": {"background": "blue"}})", "\"background\" must be"},
        {R"([1, 2])", "the top level must be a JSON object"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteFile(ScenePath(), c.text);
        const ProcessResult result = Run({"run", ScenePath(), "--frames", "2", "--fps", "0", "--out", Out()});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(ReadFile(ScenePath()), c.text);
    }
    // The unknown class's message lists the classes there are.
    WriteFile(ScenePath(), R"({"sources": {"a": {"class": "Nope"}}})");
    EXPECT_NE(Run({"run", ScenePath()}).err.find("known classes: \"TestSquare\""), std::string::npos);
}

TEST_F(ScenehostRun, RefusesAnUnwritableOutputFolderBeforeAnySourceRuns) {
    AddPlugin(SQUARE_PLUGIN_PATH);
    WriteFile(ScenePath(), kSquareScene);
    WriteFile(temp_.Path() + "/a-file", "");
    for (const std::string& out : {temp_.Path() + "/a-file", temp_.Path() + "/a-file/frames"}) {
        const ProcessResult result = Run({"run", ScenePath(), "--frames", "2", "--out", out});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find("output folder refused"), std::string::npos) << result.err;
        // BeginScene would have written "scenesBegun" and the save kept it.
        EXPECT_EQ(ReadFile(ScenePath()), kSquareScene);
    }
}

TEST_F(ScenehostRun, WithoutPluginsDrawsBackgroundFramesAndASummary) {
    WriteFile(ScenePath(), R"({"canvas": {"width": 64, "height": 48, "background": "#336699"}})");
    const ProcessResult result = Run({"run", ScenePath(), "--frames", "7", "--fps", "0", "--out", Out(), "--every", "3"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (const char* name : {"frame-000000.png", "frame-000003.png", "frame-000006.png"}) {
        EXPECT_EQ(PngPixel(Out() + "/" + name, 63, 47), 0xFF336699u) << name;
    }
    EXPECT_FALSE(fs::exists(Out() + "/frame-000001.png"));
    EXPECT_NE(result.out.find("summary frames: 0 1 2 4 5 6"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("summary: " + Out() + "/summary.png"), std::string::npos) << result.out;
    // Thumbnails of the canvas on the sheet's dark ground.
    EXPECT_EQ(PngPixel(Out() + "/summary.png", 12, 12), 0xFF336699u);
    EXPECT_EQ(PngPixel(Out() + "/summary.png", 2, 2), 0xFF101010u);
}

TEST_F(ScenehostRun, DrawsSourcesWhereTheSceneSaysAndSavesWhatThePluginWrote) {
    AddPlugin(SQUARE_PLUGIN_PATH);
    AddPlugin(REFUSING_PLUGIN_PATH);
    AddPlugin(NOT_A_PLUGIN_PATH);
    WriteFile(ScenePath(), kSquareScene);
    const ProcessResult result = Run({"run", ScenePath(), "--frames", "3", "--fps", "0", "--out", Out()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("skipping not_a_plugin.so: not a plug-in"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("plug-in refusing.so did not load"), std::string::npos) << result.err;

    const std::string frame = Out() + "/frame-000002.png";
    EXPECT_EQ(PngPixel(frame, 25, 40), 0xFF00FF00u);  // inside "big"
    EXPECT_EQ(PngPixel(frame, 9, 40), 0xFF000000u);   // just left of it
    EXPECT_EQ(PngPixel(frame, 25, 61), 0xFF000000u);  // just below it
    EXPECT_EQ(PngPixel(frame, 64, 9), 0xFFFF0000u);   // "small" at its own size
    EXPECT_EQ(PngPixel(frame, 71, 9), 0xFF000000u);

    const json saved = SavedScene();
    EXPECT_EQ(saved["sources"]["big"]["data"]["scenesBegun"], 1);
    EXPECT_EQ(saved["sources"]["big"]["data"]["framesSeen"], 3);
    EXPECT_EQ(saved["sources"]["small"]["data"]["framesSeen"], 3);  // "data" made for it
    EXPECT_EQ(saved["sources"]["big"]["cx"], 30);
}

TEST_F(ScenehostRun, CtrlCEndsTheRunCleanlyAndSaves) {
    AddPlugin(SQUARE_PLUGIN_PATH);
    WriteFile(ScenePath(), kSquareScene);
    // No end of its own: only the signal stops it.
    ChildProcess child({Executable(), "run", ScenePath(), "--fps", "30", "--out", Out()});
    // Frames late on a busy machine are dropped, so count the PNGs written.
    auto framesWritten = [&] {
        std::error_code ec;
        return std::distance(fs::directory_iterator(Out(), ec), fs::directory_iterator());
    };
    WaitUntil([&] { return framesWritten() >= 6 || !child.Running(); });
    child.Signal(SIGINT);
    const ProcessResult result = child.Wait(kHangBound.count());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("interrupted"), std::string::npos) << result.err;
    const int frames = SavedScene()["sources"]["big"]["data"]["framesSeen"];
    EXPECT_GE(frames, 6);
    EXPECT_LT(frames, 60 * 30);
    EXPECT_TRUE(fs::exists(Out() + "/summary.png"));
}

TEST_F(ScenehostRun, ConfigureSavesOnlyWhatWasAccepted) {
    AddPlugin(SQUARE_PLUGIN_PATH);
    WriteFile(ScenePath(), kSquareScene);
    ProcessResult result = Run({"configure", ScenePath(), "big"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("accepted"), std::string::npos);
    json saved = SavedScene();
    EXPECT_EQ(saved["sources"]["big"]["cx"], 20);
    EXPECT_EQ(saved["sources"]["big"]["data"]["color"], static_cast<int>(0xFF0000FF));

    saved["sources"]["small"]["data"] = {{"accept", 0}};
    const std::string declined = saved.dump();
    WriteFile(ScenePath(), declined);
    result = Run({"configure", ScenePath(), "small"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(ReadFile(ScenePath()), declined);

    result = Run({"configure", ScenePath(), "nobody"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("no source is named \"nobody\" (sources: \"big\", \"small\")"), std::string::npos);
    EXPECT_EQ(ReadFile(ScenePath()), declined);
}

TEST_F(ScenehostRun, RefusesUsageErrors) {
    WriteFile(ScenePath(), "{}");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"run"}, {"run", ScenePath(), "--fps", "fast"}, {"run", ScenePath(), "--frames", "0"},
          {"run", ScenePath(), "--frames", "2", "--seconds", "1"}, {"show", ScenePath()}}) {
        const ProcessResult result = Run(args);
        EXPECT_EQ(result.exitCode, 2) << args.back();
        EXPECT_NE(result.err.find("usage:"), std::string::npos);
    }
    EXPECT_EQ(ReadFile(ScenePath()), "{}");
}

}  // namespace
