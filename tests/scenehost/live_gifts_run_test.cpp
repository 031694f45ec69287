// SPDX-License-Identifier: GPL-2.0-or-later
// Gifts posted to a running scenehost, as a streamer's tool would post
// them: the curl program against the source's room URL, and four clients
// posting as fast as they can. Checked through the frames, the record file,
// the host's frame count and the saved scene.
#include "tests/gift_client/gift_client.h"
#include "tests/scenehost/thanks_host.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <set>
#include <thread>

using nlohmann::json;

namespace {

constexpr int kSourceY = 40, kFontSize = 40;
constexpr uint32_t kBackground = 0xFF1E2430;

std::string SceneWithRoom(const TempFolder& temp, const std::string& room, const json& extra) {
    json data = {{"room_name", room},
                 {"font", "WenQuanYi Micro Hei"},
                 {"fontSize", kFontSize},
                 {"is_no_thanks", 0},
                 {"thanks_string", "感谢$sender$赠送的$num$个$gift$ $combo$"},
                 {"is_save_record", 1},
                 {"save_folder", temp.Path()}};
    data.update(extra);
    const json scene = {{"canvas", {{"width", 900}, {"height", 120}, {"background", "#1E2430"}}},
                        {"sources", {{"thanks", {{"class", "Morvik答谢水友插件"}, {"x", 20}, {"y", kSourceY}, {"data", data}}}}}};
    const std::string path = temp.Path() + "/scene.json";
    WriteFile(path, scene.dump());
    return path;
}

// Whether `host` came to listen on `port`; false when it ended first.
bool WaitUntilListening(ChildProcess& host, int port) {
    return WaitUntil([&] { return SomethingListensOn(port) || !host.Running(); }) && host.Running();
}

long long FramesDrawn(const std::string& err) {
    const size_t at = err.rfind(" frames in ");
    if (at == std::string::npos) return -1;
    const size_t start = err.find_last_not_of("0123456789", at - 1) + 1;
    return std::stoll(err.substr(start, at - start));
}

TEST(LiveGiftsRun, AGiftPostedWithCurlIsDrawnInTheNextFramesAndTheSceneIsSavedIntact) {
    TempFolder temp;
    const std::string scenehost = InstallThanksHost(temp);
    const int port = FreeLoopbackPort();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/gifts";
    const std::string scene = SceneWithRoom(temp, url + "?token=t0ken", {{"show_second", 0}, {"delay_show_second", 0}});
    const std::string out = temp.Path() + "/out";
    const int width = PreviewWidth("感谢老王赠送的5个啤酒 连击x2", kFontSize, temp.Path());
    ASSERT_GT(width, 0);
    ChildProcess host({scenehost, "run", scene, "--out", out});
    ASSERT_TRUE(WaitUntilListening(host, port)) << host.ErrSoFar();

    const ProcessResult post = RunProcess({"/usr/bin/curl", "-sS", "-w", "%{http_code}", "-H", "Authorization: Bearer t0ken",
                                           "-H", "Content-Type: application/json", "--data-binary",
                                           R"({"sender": "老王", "gift": "啤酒", "count": 5, "combo": "连击x2", "id": "e1"})", url});
    EXPECT_EQ(post.exitCode, 0) << post.err;
    EXPECT_EQ(post.out, "{\"accepted\":1,\"duplicates\":0}\n202") << post.err;
    // The host draws until the thanks is on screen, then is told to stop.
    auto thanksRight = [&](const std::string& png) { return InkRight(png, kSourceY, 60, kBackground); };
    EXPECT_TRUE(WaitForFrameShowing(host, out, [&](const std::string& png) {
        return thanksRight(png) > 20 + width - 12 && thanksRight(png) < 20 + width;
    })) << host.ErrSoFar();
    host.Signal(SIGINT);
    const ProcessResult run = host.Wait(kHangBound.count());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("room " + url + "?token=…, taking gifts posted to it"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("t0ken"), std::string::npos) << run.err;

    // The last frame shows the thanks, as wide as the style preview draws it.
    const std::vector<std::string> frames = FramesWritten(out);
    ASSERT_FALSE(frames.empty());
    const int right = thanksRight(frames.back());
    EXPECT_GT(right, 20 + width - 12) << frames.back();
    EXPECT_LT(right, 20 + width);

    // The scene keeps the room and what the plug-in wrote into it.
    const json saved = json::parse(ReadFile(scene), nullptr, false);
    ASSERT_TRUE(saved.is_object()) << ReadFile(scene);
    const json& data = saved["sources"]["thanks"]["data"];
    EXPECT_EQ(data["room_name"], url + "?token=t0ken");
    EXPECT_TRUE(data.contains("innerId"));
    EXPECT_GE(data["baseSizeCY"].get<double>(), kFontSize);
    EXPECT_EQ(ReadGiftRecords(temp.Path()).size(), 1u);
}

// Four clients post 2,500 gifts each, one a request, as fast as they can;
// a gift answered 503 is posted again after the answer's Retry-After. Every
// gift ends up in the record exactly once, and the host kept drawing.
TEST(LiveGiftsRun, FourClientsPostTenThousandGiftsAndEachIsRecordedOnce) {
    TempFolder temp;
    const std::string scenehost = InstallThanksHost(temp);
    const int port = FreeLoopbackPort();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/gifts";
    // Each thanks waits an hour for more of its sender's gift, so the gifts
    // of one sender and gift merge however slowly they come: with a
    // one-second wait a slow machine's posting outgrew the queue, which
    // shows one thanks a second, and the clients could only wait on it.
    const std::string scene = SceneWithRoom(temp, url, {{"show_second", 1}, {"delay_show_second", 3600}});
    // It runs until told to stop, however long the clients take.
    ChildProcess host({scenehost, "run", scene});
    ASSERT_TRUE(WaitUntilListening(host, port)) << host.ErrSoFar();
    const auto start = std::chrono::steady_clock::now();

    constexpr int kClients = 4, kGifts = 2500;
    std::atomic<int> refused{0}, failed{0};
    std::vector<std::thread> clients;
    for (int k = 0; k < kClients; ++k) {
        clients.emplace_back([&, k] {
            GiftClient client;
            for (int i = 0; i < kGifts; ++i) {
                // 240 senders and gifts, so gifts merge; a quarter free.
                const json gift = {{"sender", "s" + std::to_string(k) + "-" + std::to_string(i % 20)},
                                   {"gift", "g" + std::to_string(i % 3)},
                                   {"value", i % 4 == 0 ? 0 : 5},
                                   {"id", std::to_string(k) + "-" + std::to_string(i)}};
                for (int attempt = 0;; ++attempt) {
                    const HttpAnswer answer = client.PostJson(url, gift.dump());
                    if (answer.status == 202) break;
                    if (answer.status != 503 || attempt == 100) {
                        ++failed;
                        break;
                    }
                    ++refused;
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                }
            }
        });
    }
    for (std::thread& client : clients) client.join();
    const double posting = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    host.Signal(SIGINT);
    const ProcessResult run = host.Wait(kHangBound.count());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(failed, 0);

    std::set<std::string> ids;
    size_t lines = 0;
    for (const auto& line : ReadGiftRecords(temp.Path())) {
        ++lines;
        if (line.size() == 8) ids.insert(line[7]);
    }
    EXPECT_EQ(lines, static_cast<size_t>(kClients * kGifts));
    EXPECT_EQ(ids.size(), static_cast<size_t>(kClients * kGifts));
    // A frozen host would have drawn far fewer than 30 a second.
    const long long frames = FramesDrawn(run.err);
    std::printf("posted %d gifts in %.2f s (%d answered 503 and posted again); %lld frames drawn\n",
                kClients * kGifts, posting, refused.load(), frames);
    EXPECT_GT(frames, static_cast<long long>(posting * 30 / 2)) << run.err;
    EXPECT_TRUE(json::parse(ReadFile(scene), nullptr, false).is_object());
}

}  // namespace
