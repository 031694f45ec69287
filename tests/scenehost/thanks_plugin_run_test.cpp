// SPDX-License-Identifier: GPL-2.0-or-later
// The whole plug-in in the headless host, as the demo runs it: the real
// MorvikThanks.so and the reference logic assembly replaying a gift script,
// checked through the assembly's command journal, the frames and the saved
// scene.

#include "tests/gift_client/gift_client.h"
#include "tests/scenehost/thanks_host.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr int kSourceX = 40, kSourceY = 100;
constexpr uint32_t kBackground = 0xFF1E2430;

// A scene of one thanks source at (kSourceX, kSourceY) replaying `gifts`
// in the Chinese face with no waiting, `more` added to its settings.
json ThanksScene(const std::string& gifts, const json& more = json::object()) {
    json data = {{"room_name", gifts},
                 {"font", "WenQuanYi Micro Hei"},
                 {"fontSize", 40},
                 {"show_second", 0},
                 {"delay_show_second", 0},
                 {"thanks_string", "感谢$sender$赠送的$num$个$gift$ $combo$"}};
    data.update(more);
    return {{"canvas", {{"width", 800}, {"height", 200}, {"background", "#1E2430"}}},
            {"sources",
             {{"thanks", {{"class", "Morvik答谢水友插件"}, {"x", kSourceX}, {"y", kSourceY}, {"data", data}}}}}};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

int SourceInkRight(const std::string& png) { return ::InkRight(png, kSourceY, 70, kBackground); }

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

TEST(ThanksPluginRun, GiftsFromTheScriptAreDrawnAndTheCommandsRunInOrder) {
    TempFolder temp;
    const std::string scenehost = InstallThanksHost(temp);

    // The gifts come a second in, well after the host's first frame.
    const std::string gifts = temp.Path() + "/gifts.txt";
    WriteFile(gifts, "1.0|小明|飞机|2|\n1.2|Alice|火箭|3|x3\n");
    const std::string scene = temp.Path() + "/scene.json";
    const json sceneJson = ThanksScene(gifts, {{"is_save_record", 1}, {"save_folder", temp.Path()}});
    WriteFile(scene, sceneJson.dump());
    const int textureWidth = PreviewWidth("感谢Alice赠送的3个火箭 x3", 40, temp.Path());
    ASSERT_GT(textureWidth, 0);

    // The host runs until the second gift is taken (its record line) and its
    // thanks drawn, then is told to stop. Before the assembly's first text
    // the source shows its built-in hint, about as wide as that thanks, so
    // the frames are looked at only once the gift is in.
    const std::string journal = temp.Path() + "/journal.txt";
    setenv("TAVREL_JOURNAL", journal.c_str(), 1);
    const std::string out = temp.Path() + "/out";
    ChildProcess host({scenehost, "run", scene, "--out", out});
    unsetenv("TAVREL_JOURNAL");
    EXPECT_TRUE(WaitUntil([&] { return ReadGiftRecords(temp.Path()).size() == 2 || !host.Running(); }))
        << host.ErrSoFar();
    EXPECT_TRUE(WaitForFrameShowing(host, out, [&](const std::string& png) {
        const int right = SourceInkRight(png);
        return right > kSourceX + textureWidth - 12 && right < kSourceX + textureWidth;
    })) << host.ErrSoFar();
    host.Signal(SIGINT);
    const ProcessResult run = host.Wait(kHangBound.count());
    ASSERT_EQ(run.exitCode, 0) << run.err;

    // The scene keeps what the plug-in wrote: the channel and the base size.
    const json saved = json::parse(ReadFile(scene));
    const json& data = saved["sources"]["thanks"]["data"];
    ASSERT_TRUE(data.contains("innerId")) << saved.dump(2);
    const std::string window = data["innerId"];
    EXPECT_GE(data["baseSizeCY"].get<double>(), 40.0);

    // The command order of a whole run.
    const std::vector<std::string> commands = Lines(ReadFile(journal));
    ASSERT_EQ(commands.size(), 6u) << ReadFile(journal);
    EXPECT_EQ(commands[0], "setPlatform:4");
    EXPECT_EQ(commands[1], "init:" + window);
    EXPECT_TRUE(StartsWith(commands[2], "Set:" + window + "{|}")) << commands[2];
    EXPECT_EQ(commands[3], "start:" + window);
    EXPECT_EQ(commands[4], "stop:" + window);
    EXPECT_EQ(commands[5], "quit");

    // The last frame shows the second gift's thanks, as wide as the style
    // preview draws that text, in the source's place.
    const std::vector<std::string> frames = FramesWritten(out);
    ASSERT_FALSE(frames.empty());
    const int right = SourceInkRight(frames.back());
    EXPECT_GT(right, kSourceX + textureWidth - 12) << frames.back();
    EXPECT_LT(right, kSourceX + textureWidth);
    EXPECT_EQ(PngPixel(frames.back(), 5, 5), kBackground);
    // The first frame shows what came before the gifts (the built-in hint,
    // or the idle text once the assembly has sent it), not the thanks.
    const std::optional<PngImage> first = LoadPngImage(frames.front()), last = LoadPngImage(frames.back());
    ASSERT_TRUE(first && last);
    EXPECT_NE(first->argb, last->argb) << frames.front();
}

// The host runs in its own folder, but a gift script named by a relative
// path is read beside the scene file, where the user put it.
TEST(ThanksPluginRun, ARelativeGiftScriptIsReadFromTheScenesFolder) {
    TempFolder temp;
    const std::string scenehost = InstallThanksHost(temp);
    fs::create_directories(temp.Path() + "/show/rooms");
    WriteFile(temp.Path() + "/show/rooms/gifts.txt", "0.1|小明|飞机|2|\n0.2|Alice|火箭|3|x3\n");
    const std::string scene = temp.Path() + "/show/scene.json";
    const json sceneJson = {{"sources",
                             {{"thanks", {{"class", "Morvik答谢水友插件"}, {"data", {{"room_name", "rooms/gifts.txt"}}}}}}}};
    WriteFile(scene, sceneJson.dump());
    // The host runs until it has logged the channel's start.
    const std::string started = "started, room rooms/gifts.txt, 2 gifts";
    ChildProcess host({scenehost, "run", scene});
    EXPECT_TRUE(WaitUntil([&] { return host.ErrSoFar().find(started) != std::string::npos || !host.Running(); }));
    host.Signal(SIGINT);
    const ProcessResult run = host.Wait(kHangBound.count());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find(started), std::string::npos) << run.err;
}

// Blocked words in the scene file: the frames show the masked thanks, while
// the logic assembly is told the settings without them and records the gift
// as it came.
TEST(ThanksPluginRun, BlockedWordsOfTheSceneAreMaskedOnScreenOnly) {
    TempFolder temp;
    const std::string scenehost = InstallThanksHost(temp);
    const std::string gifts = temp.Path() + "/gifts.txt";
    WriteFile(gifts, "0.1|Ａ.l​ice|火箭|3|x3\n");
    const std::string scene = temp.Path() + "/scene.json";
    const json sceneJson = ThanksScene(
        gifts, {{"is_save_record", 1}, {"save_folder", temp.Path()}, {"blocked_words", "alice\n"}});
    WriteFile(scene, sceneJson.dump());
    const int maskedWidth = PreviewWidth("感谢***赠送的3个火箭 x3", 40, temp.Path());
    ASSERT_GT(maskedWidth, 0);

    // The host runs until the gift is taken (its record line) and a thanks
    // as wide as the masked one is drawn (the unmasked name is wider).
    const std::string journal = temp.Path() + "/journal.txt";
    setenv("TAVREL_JOURNAL", journal.c_str(), 1);
    const std::string out = temp.Path() + "/out";
    ChildProcess host({scenehost, "run", scene, "--out", out});
    unsetenv("TAVREL_JOURNAL");
    EXPECT_TRUE(WaitUntil([&] { return ReadGiftRecords(temp.Path()).size() == 1 || !host.Running(); }))
        << host.ErrSoFar();
    EXPECT_TRUE(WaitForFrameShowing(host, out, [&](const std::string& png) {
        const int right = SourceInkRight(png);
        return right > kSourceX + maskedWidth - 12 && right < kSourceX + maskedWidth;
    })) << host.ErrSoFar();
    host.Signal(SIGINT);
    const ProcessResult run = host.Wait(kHangBound.count());
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::vector<std::string> frames = FramesWritten(out);
    ASSERT_FALSE(frames.empty());
    const int right = SourceInkRight(frames.back());
    EXPECT_GT(right, kSourceX + maskedWidth - 12) << frames.back();
    EXPECT_LT(right, kSourceX + maskedWidth);

    for (const std::string& line : Lines(ReadFile(journal))) EXPECT_EQ(line.find("alice"), std::string::npos) << line;
    std::string record;
    for (const auto& entry : fs::directory_iterator(temp.Path()))
        if (entry.path().filename().string().rfind("gifts-", 0) == 0) record = ReadFile(entry.path().string());
    EXPECT_NE(record.find("Ａ.l​ice\t火箭\t3"), std::string::npos) << record;
    EXPECT_EQ(json::parse(ReadFile(scene))["sources"]["thanks"]["data"]["blocked_words"], "alice\n");
}

}  // namespace
