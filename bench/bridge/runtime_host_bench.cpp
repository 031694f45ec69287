// SPDX-License-Identifier: GPL-2.0-or-later
// The runtime host's costs: starting Mono (once per process, so measured
// once, first), the first command (assembly load and JIT), and the round
// trip of one command to the reference logic assembly, as a median over
// repetitions and as per-call percentiles. Run from the build folder.
#include "bridge/runtime_host.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void StartOrSkip(benchmark::State& state)
{
    if (StartRuntime(kLogicAssemblyPath) != RuntimeStartOutcome::Started)
        state.SkipWithError("the runtime did not start");
}

// Only the first run in the process starts Mono; registered first so that
// it is that run.
void BM_StartRuntimeCold(benchmark::State& state)
{
    for (auto _ : state)
        StartOrSkip(state);
}
BENCHMARK(BM_StartRuntimeCold)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_FirstCommand(benchmark::State& state)
{
    StartOrSkip(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(SendLogicCommand(u"setPlatform:4"));
    if (LastLogicCallResult() != LogicCallResult::Ok)
        state.SkipWithError("the logic assembly was not reached");
}
BENCHMARK(BM_FirstCommand)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SendLogicCommand(benchmark::State& state)
{
    StartOrSkip(state);
    const String command(u"start:123456");
    for (auto _ : state)
        benchmark::DoNotOptimize(SendLogicCommand(command));
    if (LastLogicCallResult() != LogicCallResult::Ok)
        state.SkipWithError("the logic assembly was not reached");
}
BENCHMARK(BM_SendLogicCommand)->Repetitions(10)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

// Each call timed on its own, so that collections show in the tail.
void BM_SendLogicCommandPercentiles(benchmark::State& state)
{
    StartOrSkip(state);
    const String command(u"start:123456");
    std::vector<double> micros;
    micros.reserve(1 << 20);
    for (auto _ : state) {
        const auto begin = Clock::now();
        benchmark::DoNotOptimize(SendLogicCommand(command));
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - begin).count());
    }
    std::sort(micros.begin(), micros.end());
    auto at = [&micros](double fraction) { return micros[static_cast<size_t>(fraction * (micros.size() - 1))]; };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = micros.back();
}
BENCHMARK(BM_SendLogicCommandPercentiles)->Iterations(200000)->Unit(benchmark::kMicrosecond);

}  // namespace
