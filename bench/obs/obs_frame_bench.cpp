// SPDX-License-Identifier: GPL-2.0-or-later
// What a thanks source costs inside libobs, side by side with OBS's own
// FreeType 2 text source (Debian's obs-plugins), in one libobs process at
// 1280x720 and 30 fps, its output read back as a recording or stream does.
// For 1, 8 and 32 sources of each kind with the same text, face, size and
// outline: libobs's average frame time, the process's CPU time per frame
// (every thread: the plug-in's core thread rasterises), lagged frames and
// resident memory per source, with the text unchanged and with a new text
// for every source every frame; then the time from a new text to the first
// output frame that shows it, over a series of gifts. Prints one table with
// the ratios ours / peer.
//
// Run from the build folder under an X server (Mesa draws in software):
//   xvfb-run -a ./obs_frame_bench [--frames=300] [--gifts=100] [--frames-dir=DIR]
// --frames: frames measured per case and kind; --gifts: texts timed per case;
// --frames-dir: each case's frame is written there (thanks_N.ppm, text_N.ppm)
// to be looked at.

#include "bench/obs/bench_sources.h"
#include "bench/obs/frame_watch.h"
#include "tests/obs/headless_obs.h"

#include <obs.h>
#include <util/platform.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kPeerModule = "/usr/lib/x86_64-linux-gnu/obs-plugins/text-freetype2.so";
constexpr const char* kPeerData = "/usr/share/obs/obs-plugins/text-freetype2";
constexpr double kFrameIntervalMs = 1000.0 / 30.0;

struct Options {
    uint64_t frames = 300;
    int gifts = 100;
    std::string framesDir;  // where each case's steady frame is written, if anywhere
};

// What one stretch of frames cost.
struct Cost {
    double frameTimeMs = 0;   // libobs's average frame time, sampled each frame
    double cpuPerFrameMs = 0; // process CPU time / frames rendered
    uint64_t laggedFrames = 0;
    double textsPerFrame = 0; // new texts given per frame and source
};

struct Latency {
    double medianMs = 0, worstMs = 0;  // to the frame's delivery
    double toFrameMedianMs = 0, toFrameWorstMs = 0;  // to the frame's own time
    int missed = 0;
};

struct CaseResult {
    Cost unchanged, changing;
    double rssPerSourceMiB = 0;
    Latency latency;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

Cost Measure(FrameWatch& watch, uint64_t frames) {
    const double cpuBefore = CpuSeconds();
    const uint64_t renderedBefore = obs_get_total_frames();
    const uint32_t laggedBefore = obs_get_lagged_frames();
    double frameTimeSum = 0;
    for (uint64_t i = 0; i < frames; ++i) {
        watch.WaitFrames(1);
        RunUiTasks();
        frameTimeSum += static_cast<double>(obs_get_average_frame_time_ns()) / 1e6;
    }
    Cost cost;
    const uint64_t rendered = obs_get_total_frames() - renderedBefore;
    cost.frameTimeMs = frameTimeSum / static_cast<double>(frames);
    cost.cpuPerFrameMs = (CpuSeconds() - cpuBefore) * 1000.0 / static_cast<double>(std::max<uint64_t>(rendered, 1));
    cost.laggedFrames = obs_get_lagged_frames() - laggedBefore;
    return cost;
}

// Gifts to the first source at random moments within a frame, each after the
// output has settled on the last one.
Latency MeasureLatency(BenchSources& sources, FrameWatch& watch, int gifts) {
    std::mt19937 random(18);
    std::uniform_int_distribution<int> phaseUs(0, static_cast<int>(kFrameIntervalMs * 1000));
    std::vector<double> toDelivery, toFrame;
    Latency latency;
    for (int gift = 1; gift <= gifts; ++gift) {
        watch.WaitFrames(3);
        watch.TakeSteadyFrame();
        std::this_thread::sleep_for(std::chrono::microseconds(phaseUs(random)));
        watch.Arm();
        const uint64_t sent = os_gettime_ns();
        sources.SetText(0, GiftTextFor(static_cast<uint64_t>(gift) * 7));
        const std::optional<FrameWatch::Change> change = watch.WaitChange(2000);
        if (!change) {
            ++latency.missed;
            continue;
        }
        toDelivery.push_back(static_cast<double>(change->deliveredNs - sent) / 1e6);
        toFrame.push_back((static_cast<double>(change->frameNs) - static_cast<double>(sent)) / 1e6);
    }
    auto median = [](std::vector<double> values) {
        if (values.empty()) return 0.0;
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    auto worst = [](const std::vector<double>& values) {
        return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
    };
    latency.medianMs = median(toDelivery);
    latency.worstMs = worst(toDelivery);
    latency.toFrameMedianMs = median(toFrame);
    latency.toFrameWorstMs = worst(toFrame);
    return latency;
}

// One showing of `count` sources of a kind: `frames` frames with the text
// unchanged, as many with it changing, then, when `gifts` > 0, the gifts
// timed.
CaseResult RunCase(SourceKind kind, int count, uint64_t frames, int gifts, const Options& options,
                   const std::string& journal) {
    CaseResult result;
    FrameWatch watch;
    watch.WaitFrames(30);
    malloc_trim(0);
    const double residentBefore = ResidentMiB();
    BenchSources sources(kind, count, journal);
    if (const std::string failure = sources.WaitReady(); !failure.empty()) {
        std::fprintf(stderr, "obs_frame_bench: %s\n", failure.c_str());
        std::exit(1);
    }
    watch.WaitFrames(60);  // the first textures and libobs's average settle
    if (!options.framesDir.empty()) {
        watch.TakeSteadyFrame();
        const std::string path = options.framesDir + "/" + (kind == SourceKind::Thanks ? "thanks_" : "text_") +
                                 std::to_string(count) + ".ppm";
        if (!watch.WriteSteadyFrame(path)) std::fprintf(stderr, "obs_frame_bench: cannot write %s\n", path.c_str());
    }
    result.unchanged = Measure(watch, frames);
    result.rssPerSourceMiB = (ResidentMiB() - residentBefore) / count;

    sources.StartChanging([&watch] { watch.WaitFrames(1); });
    watch.WaitFrames(30);
    result.changing = Measure(watch, frames);
    const uint64_t texts = sources.StopChanging();
    result.changing.textsPerFrame = static_cast<double>(texts) / static_cast<double>(frames + 30) / count;

    if (gifts > 0) result.latency = MeasureLatency(sources, watch, gifts);
    return result;
}

// Two showings of a kind as one: the costs averaged (lagged frames added),
// the gifts of the one that timed them.
CaseResult Combined(const CaseResult& a, const CaseResult& b) {
    auto mean = [](const Cost& x, const Cost& y) {
        return Cost{(x.frameTimeMs + y.frameTimeMs) / 2, (x.cpuPerFrameMs + y.cpuPerFrameMs) / 2,
                    x.laggedFrames + y.laggedFrames, (x.textsPerFrame + y.textsPerFrame) / 2};
    };
    CaseResult combined;
    combined.unchanged = mean(a.unchanged, b.unchanged);
    combined.changing = mean(a.changing, b.changing);
    combined.rssPerSourceMiB = (a.rssPerSourceMiB + b.rssPerSourceMiB) / 2;
    combined.latency = b.latency;
    return combined;
}

// libobs's log on stderr, warnings and errors only: stdout is the table.
void QuietLog(int level, const char* format, va_list args, void*) {
    if (level > LOG_WARNING) return;
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

double Ratio(double ours, double peer) { return peer > 0 ? ours / peer : 0.0; }

void PrintTable(const std::vector<int>& counts, const std::vector<CaseResult>& ours,
                const std::vector<CaseResult>& peer, const Cost& empty) {
    std::printf("\nEmpty canvas: frame time %.2f ms, CPU %.2f ms per frame\n\n", empty.frameTimeMs, empty.cpuPerFrameMs);
    std::printf("| sources | text | frame time ours / peer (ms) | ratio | CPU per frame ours / peer (ms) | ratio "
                "| lagged frames ours / peer | new texts per frame ours / peer | RSS per source ours / peer (MiB) "
                "| ratio |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (size_t i = 0; i < counts.size(); ++i) {
        for (int changing = 0; changing < 2; ++changing) {
            const Cost& o = changing ? ours[i].changing : ours[i].unchanged;
            const Cost& p = changing ? peer[i].changing : peer[i].unchanged;
            std::printf("| %d | %s | %.2f / %.2f | %.2f | %.2f / %.2f | %.2f | %llu / %llu | ", counts[i],
                        changing ? "changing every frame" : "unchanged", o.frameTimeMs, p.frameTimeMs,
                        Ratio(o.frameTimeMs, p.frameTimeMs), o.cpuPerFrameMs, p.cpuPerFrameMs,
                        Ratio(o.cpuPerFrameMs, p.cpuPerFrameMs), static_cast<unsigned long long>(o.laggedFrames),
                        static_cast<unsigned long long>(p.laggedFrames));
            if (changing)
                std::printf("%.2f / %.2f | ", o.textsPerFrame, p.textsPerFrame);
            else
                std::printf("- | ");
            std::printf("%.2f / %.2f | %.2f |\n", ours[i].rssPerSourceMiB, peer[i].rssPerSourceMiB,
                        Ratio(ours[i].rssPerSourceMiB, peer[i].rssPerSourceMiB));
        }
    }
    std::printf("\nFrom a new text to the first output frame that shows it (ms): to the frame's delivery to the raw "
                "video callback, and to the time libobs gave the frame (when it began rendering it)\n\n");
    std::printf("| sources | delivery median ours / peer | ratio | delivery worst ours / peer | ratio "
                "| frame time median ours / peer | frame time worst ours / peer | missed ours / peer |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (size_t i = 0; i < counts.size(); ++i) {
        const Latency& o = ours[i].latency;
        const Latency& p = peer[i].latency;
        std::printf("| %d | %.1f / %.1f | %.2f | %.1f / %.1f | %.2f | %.1f / %.1f | %.1f / %.1f | %d / %d |\n",
                    counts[i], o.medianMs, p.medianMs, Ratio(o.medianMs, p.medianMs), o.worstMs, p.worstMs,
                    Ratio(o.worstMs, p.worstMs), o.toFrameMedianMs, p.toFrameMedianMs, o.toFrameWorstMs,
                    p.toFrameWorstMs, o.missed, p.missed);
    }
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--frames=", 9) == 0) {
            options.frames = std::max(60ull, std::strtoull(argv[i] + 9, nullptr, 10));
        } else if (std::strncmp(argv[i], "--gifts=", 8) == 0) {
            options.gifts = std::max(1, std::atoi(argv[i] + 8));
        } else if (std::strncmp(argv[i], "--frames-dir=", 13) == 0) {
            options.framesDir = argv[i] + 13;
        } else {
            std::fprintf(stderr, "usage: %s [--frames=N] [--gifts=N] [--frames-dir=DIR]\n", argv[0]);
            std::exit(2);
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    const std::string journal = "/tmp/morvik_obs_bench_journal_" + std::to_string(getpid()) + ".txt";
    setenv("TAVREL_JOURNAL", journal.c_str(), 1);
    base_set_log_handler(QuietLog, nullptr);
    if (const std::string failure = StartHeadlessObs(1280, 720, "obs-plugins/morvik-thanks"); !failure.empty()) {
        std::fprintf(stderr, "obs_frame_bench: %s\n", failure.c_str());
        return 1;
    }
    if (const std::string failure = LoadObsModule(kPeerModule, kPeerData); !failure.empty()) {
        std::fprintf(stderr, "obs_frame_bench: OBS's text source is needed (apt-get install obs-plugins): %s\n",
                     failure.c_str());
        StopHeadlessObs();
        return 1;
    }

    // A source of each kind shown once first: what the first source of a
    // kind sets up for all (fonts, caches, the logic assembly's code) is
    // not counted as memory per source.
    for (SourceKind kind : {SourceKind::FreeTypeText, SourceKind::Thanks}) {
        FrameWatch watch;
        BenchSources first(kind, 1, journal);
        if (const std::string failure = first.WaitReady(); !failure.empty()) {
            std::fprintf(stderr, "obs_frame_bench: %s\n", failure.c_str());
            return 1;
        }
        watch.WaitFrames(30);
        first.SetText(0, GiftTextFor(1));
        watch.WaitFrames(30);
    }

    std::fprintf(stderr, "obs_frame_bench: the empty canvas\n");
    Cost empty;
    {
        FrameWatch watch;
        watch.WaitFrames(60);
        empty = Measure(watch, options.frames);
    }
    const std::vector<int> counts = {1, 8, 32};
    std::vector<CaseResult> ours, peer;
    for (int count : counts) {
        // Each kind is shown twice, in the order peer, ours, ours, peer, so
        // that a drift of the machine's load during the run weighs on both
        // alike; the second showing times the gifts.
        const uint64_t frames = options.frames / 2;
        std::fprintf(stderr, "obs_frame_bench: %d OBS text source(s)\n", count);
        const CaseResult peerFirst = RunCase(SourceKind::FreeTypeText, count, frames, 0, options, journal);
        std::fprintf(stderr, "obs_frame_bench: %d thanks source(s), twice\n", count);
        const CaseResult oursFirst = RunCase(SourceKind::Thanks, count, frames, 0, options, journal);
        ours.push_back(Combined(oursFirst, RunCase(SourceKind::Thanks, count, frames, options.gifts, options, journal)));
        std::fprintf(stderr, "obs_frame_bench: %d OBS text source(s) again\n", count);
        peer.push_back(Combined(peerFirst, RunCase(SourceKind::FreeTypeText, count, frames, options.gifts, options, journal)));
    }
    // The tables are out before libobs and its modules are shut down, so
    // that nothing on the way out can take them with it.
    PrintTable(counts, ours, peer, empty);
    std::fflush(stdout);
    StopHeadlessObs();
    std::remove(journal.c_str());
    return 0;
}
