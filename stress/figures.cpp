// SPDX-License-Identifier: GPL-2.0-or-later
#include "stress/figures.h"

#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <sstream>

void Figures::Figure(const std::string& key, const std::string& value) {
    std::printf("%s: %s\n", key.c_str(), value.c_str());
    std::fflush(stdout);
}

void Figures::Check(const std::string& key, bool ok, const std::string& problem) {
    if (ok) {
        Figure(key, "ok");
        return;
    }
    failed_ = true;
    Figure(key, problem.empty() ? std::string("FAILED") : "FAILED (" + problem + ")");
}

void Figures::MemoryGrowth(const std::string& startWhen, const std::optional<MemorySample>& start,
                           const std::string& endWhen, const MemorySample& end, double flagPercent) {
    const std::optional<int64_t> startKb = start ? start->residentKb : std::nullopt;
    const std::optional<int64_t> endKb = end.residentKb;
    auto Kilobytes = [](std::optional<int64_t> value) {
        return value ? std::to_string(*value) + " kB" : std::string("unknown");
    };
    Figure("rss " + startWhen, Kilobytes(startKb));
    Figure("rss " + endWhen, Kilobytes(endKb));
    if (startKb && endKb && *startKb > 0) {
        const double percent = 100.0 * static_cast<double>(*endKb - *startKb) / static_cast<double>(*startKb);
        char text[64];
        std::snprintf(text, sizeof text, "%+lld kB (%+.1f %%)", static_cast<long long>(*endKb - *startKb), percent);
        Figure("rss growth", text);
        if (percent > flagPercent) {
            std::snprintf(text, sizeof text, "above %.0f %% after warm-up", flagPercent);
            Figure("rss growth flagged", text);
        }
    }
    Figure("heap in use " + startWhen, Kilobytes(start ? std::optional<int64_t>(start->heapKb) : std::nullopt));
    Figure("heap in use " + endWhen, Kilobytes(end.heapKb));
    auto Count = [](std::optional<int64_t> value) { return value ? std::to_string(*value) : std::string("unknown"); };
    Figure("threads " + startWhen, Count(start ? start->threads : std::nullopt));
    Figure("threads " + endWhen, Count(end.threads));
}

std::optional<int64_t> ProcessStatusField(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(name + ":", 0) != 0) continue;
        std::istringstream fields(line.substr(name.size() + 1));
        int64_t value = -1;
        if (fields >> value && value >= 0) return value;
        return std::nullopt;
    }
    return std::nullopt;
}

int64_t HeapInUseKilobytes() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<int64_t>((info.uordblks + info.hblkhd) / 1024);
}

MemorySample SampleMemory() { return {ResidentKilobytes(), HeapInUseKilobytes(), ProcessStatusField("Threads")}; }
