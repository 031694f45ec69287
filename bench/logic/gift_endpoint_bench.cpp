// SPDX-License-Identifier: GPL-2.0-or-later
// How the gift endpoint holds up on this machine, with the plug-in, the real
// runtime and the reference assembly in this process and scenehost's frame
// step drawing at 30 fps on this thread, as the headless host does:
//   - gifts per second accepted on one channel from one and from four
//     clients posting one gift a request on kept-alive connections, with the
//     settings' defaults (5 s combo wait, 10 s show time) and the record on;
//   - the time from a post's answer to the first frame that shows its
//     thanks when nothing is queued, in milliseconds and in frame intervals.
// Prints a table; run from the build folder.
#include "bridge/runtime_host.h"
#include "channel/process_state.h"
#include "host/cairo_graphics.h"
#include "host/host_control.h"
#include "host/scene_document.h"
#include "scenehost/frame_loop.h"
#include "source/morvik_thanks_image.h"
#include "source/scene_hooks.h"
#include "tests/gift_client/gift_client.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kFps = 30;
constexpr auto kFrame = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1 / kFps));

struct Scene {
    SceneDocument document;
    CairoGraphics canvas;
    ScopedGraphicsSystem scoped{&canvas};
    Scene() { canvas.SetCanvasSize(1280, 720); }
};

struct Channel {
    std::unique_ptr<ImageSource> source;
    std::string url;
};

Channel LiveChannel(Scene& scene, const char* name, bool defaults, const std::string& recordFolder) {
    Channel channel;
    channel.url = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/gifts";
    XElement* data = scene.document.Root()->CreateElement(String(name).Array())->CreateElement(u"data");
    data->SetString(u"room_name", String(channel.url.c_str()).Array());
    data->SetString(u"font", u"WenQuanYi Micro Hei");
    data->SetInt(u"fontSize", 48);
    data->SetString(u"thanks_string", u"感谢$sender$赠送的$num$个$gift$ $combo$");
    data->SetInt(u"is_no_thanks", 0);
    if (!defaults) {
        data->SetInt(u"show_second", 0);
        data->SetInt(u"delay_show_second", 0);
    }
    if (!recordFolder.empty()) {
        data->SetInt(u"is_save_record", 1);
        data->SetString(u"save_folder", String(recordFolder.c_str()).Array());
    }
    channel.source.reset(CreateThanksSource(data));
    channel.source->BeginScene();
    return channel;
}

// Draws frames at 30 a second until `done` holds after one; calls `onFrame`
// after each. The number of frames drawn.
template <typename Done, typename OnFrame>
int64_t DrawFrames(Scene& scene, Channel& channel, Done done, OnFrame onFrame) {
    std::vector<LiveSource> sources{{channel.source.get(), {0, 0}, channel.source->GetSize()}};
    int64_t frames = 0;
    for (auto due = Clock::now();; due += kFrame) {
        std::this_thread::sleep_until(due);
        RenderFrame(scene.canvas, 0xFF1E2430, sources, 1 / kFps);
        ++frames;
        onFrame();
        if (done()) return frames;
    }
}

struct Throughput {
    double giftsPerSecond = 0;
    int refused = 0;
    int failed = 0;
    int64_t frames = 0;
    double seconds = 0;
};

Throughput Post(Scene& scene, int clients, int giftsEach, const char* name) {
    const std::string folder = std::filesystem::temp_directory_path() / ("gift-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    Channel channel = LiveChannel(scene, name, true, folder);
    std::atomic<int> running{clients}, refused{0}, failed{0};
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int k = 0; k < clients; ++k)
        threads.emplace_back([&, k] {
            GiftClient client;
            for (int i = 0; i < giftsEach; ++i) {
                const nlohmann::json gift = {{"sender", "viewer" + std::to_string((k * giftsEach + i) % 200)},
                                             {"gift", "rose"}, {"value", 10},
                                             {"id", std::string(name) + std::to_string(k) + "-" + std::to_string(i)}};
                HttpAnswer answer;
                while ((answer = client.PostJson(channel.url, gift.dump())).status == 503) ++refused;
                if (answer.status != 202) ++failed;
            }
            --running;
        });
    Throughput result;
    result.frames = DrawFrames(scene, channel, [&] { return running == 0; }, [] {});
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (std::thread& thread : threads) thread.join();
    result.giftsPerSecond = clients * giftsEach / result.seconds;
    result.refused = refused;
    result.failed = failed;
    channel.source->EndScene();
    std::filesystem::remove_all(folder);
    return result;
}

struct Latency {
    std::vector<double> milliseconds;
};

Latency PostToFrame(Scene& scene, int samples) {
    Channel channel = LiveChannel(scene, "latency", false, "");
    Latency result;
    for (int i = 0; i < samples; ++i) {
        const std::string sender = "viewer" + std::to_string(i);
        const std::string expected = "感谢" + sender + "赠送的1个rose";  // drawn trimmed
        std::atomic<bool> answered{false};
        Clock::time_point answeredAt;
        // Posted at a random point of a frame interval, as real gifts come.
        std::thread poster([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(7919 * (i % 5) + 1000));
            GiftClient client;
            const HttpAnswer answer =
                client.PostJson(channel.url, nlohmann::json({{"sender", sender}, {"gift", "rose"}}).dump());
            answeredAt = Clock::now();
            answered = answer.status == 202;
        });
        bool shown = false;
        DrawFrames(scene, channel, [&] { return shown; }, [&] {
            if (!answered || displayText.ToUtf8() != expected) return;
            result.milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - answeredAt).count());
            shown = true;
        });
        poster.join();
    }
    channel.source->EndScene();
    return result;
}

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(share * values.size()))];
}

}  // namespace

int main() {
    SetLogToStderr(false);
    if (StartRuntime(kLogicAssemblyPath) != RuntimeStartOutcome::Started) {
        std::fprintf(stderr, "gift_endpoint_bench: the runtime did not start; run it from the build folder\n");
        return 1;
    }
    Scene scene;
    std::printf("gift endpoint, one channel, frames drawn at %.0f fps on the plug-in's thread\n\n", kFps);
    std::printf("| clients | gifts | seconds | gifts/s accepted | 503 answers | failed | frames drawn / expected |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const auto& [clients, name] : {std::pair{1, "one"}, std::pair{4, "four"}}) {
        std::fprintf(stderr, "posting with %d client(s)...\n", clients);
        const Throughput run = Post(scene, clients, 10000 / clients, name);
        std::printf("| %d | %d | %.2f | %.0f | %d | %d | %lld / %.0f |\n", clients, 10000, run.seconds, run.giftsPerSecond,
                    run.refused, run.failed, static_cast<long long>(run.frames), run.seconds * kFps);
    }
    std::fprintf(stderr, "timing posts to frames...\n");
    const Latency latency = PostToFrame(scene, 60);
    const double frame = 1000 / kFps;
    std::printf("\npost answered to first frame showing it (%zu posts, nothing queued)\n\n", latency.milliseconds.size());
    std::printf("| | ms | frame intervals |\n|---|---|---|\n");
    for (const auto& [label, share] : {std::pair{"median", 0.5}, std::pair{"95th percentile", 0.95}, std::pair{"worst", 1.0}}) {
        const double ms = Percentile(latency.milliseconds, share);
        std::printf("| %s | %.1f | %.2f |\n", label, ms, ms / frame);
    }
    StopRuntime();
    return 0;
}
