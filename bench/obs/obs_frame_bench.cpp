// Per-frame time of a thanks source inside libobs: the time libobs's
// graphics thread takes for a frame (every source's tick and render, the
// output conversion and read-back), as libobs itself measures it, with no
// source, with the thanks source's text unchanged and with it changing (a
// gift every 2 ms). The source's own cost is the difference to the empty
// canvas. Run from the build folder: xvfb-run -a ./obs_frame_bench

#include "tests/obs/headless_obs.h"

#include <obs.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

// Counts the frames libobs outputs, so that each iteration is one frame.
class FrameClock {
public:
    FrameClock() { obs_add_raw_video_callback(nullptr, &FrameClock::Tick, this); }
    ~FrameClock() { obs_remove_raw_video_callback(&FrameClock::Tick, this); }

    void WaitFrames(uint64_t count) {
        std::unique_lock lock(mutex_);
        const uint64_t until = frames_ + count;
        next_.wait(lock, [&] { return frames_ >= until; });
    }

private:
    static void Tick(void* param, video_data*) {
        auto* self = static_cast<FrameClock*>(param);
        {
            std::lock_guard lock(self->mutex_);
            ++self->frames_;
        }
        self->next_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable next_;
    uint64_t frames_ = 0;
};

std::string ChangingRoom() {
    const std::string path = "/tmp/morvik_obs_bench_gifts_" + std::to_string(getpid()) + ".txt";
    std::ofstream gifts(path);
    for (int i = 0; i < 30000; ++i)
        gifts << i * 0.002 << "|Alice|火箭|" << i << "|x" << i % 10 << "\n";
    return path;
}

// `room`: null for no source, "" for a source whose text stays the same.
void FrameTime(benchmark::State& state, const char* room) {
    obs_source_t* source = nullptr;
    std::string gifts;
    if (room) {
        obs_data_t* settings = obs_data_create();
        gifts = *room ? ChangingRoom() : "";
        obs_data_set_string(settings, "room_name", gifts.c_str());
        obs_data_set_string(settings, "font", "WenQuanYi Micro Hei");
        obs_data_set_int(settings, "fontSize", 56);
        obs_data_set_int(settings, "outline", 1);
        obs_data_set_int(settings, "show_second", 0);
        obs_data_set_int(settings, "delay_show_second", 0);
        obs_data_set_string(settings, "thanks_string", "感谢$sender$赠送的$num$个$gift$ $combo$");
        source = obs_source_create("morvik_thanks_image", "bench", settings, nullptr);
        obs_data_release(settings);
        obs_set_output_source(0, source);
    }
    FrameClock clock;
    clock.WaitFrames(60);  // activation, the first textures, libobs's average settling
    const uint32_t laggedBefore = obs_get_lagged_frames();
    for (auto _ : state) {
        clock.WaitFrames(1);
        RunUiTasks();
        state.SetIterationTime(static_cast<double>(obs_get_average_frame_time_ns()) / 1e9);
    }
    state.counters["lagged_frames"] = obs_get_lagged_frames() - laggedBefore;
    if (source) {
        obs_set_output_source(0, nullptr);
        obs_source_release(source);
    }
    if (!gifts.empty()) std::remove(gifts.c_str());
}

BENCHMARK_CAPTURE(FrameTime, no_source, nullptr)->UseManualTime()->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(FrameTime, text_unchanged, "")->UseManualTime()->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(FrameTime, text_changing, "changing")->UseManualTime()->Iterations(300)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::string failure = StartHeadlessObs(1280, 720, "obs-plugins/morvik-thanks");
    if (!failure.empty()) {
        std::fprintf(stderr, "obs_frame_bench: %s\n", failure.c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    StopHeadlessObs();
    return 0;
}
