// SPDX-License-Identifier: MIT
// The sample loop through the record, against memcpy of the same bytes measured in the same
// run: the machine is shared, so only the ratio means something.
//
//   vela_sample_loop_bench --benchmark_counters_tabular=true
//
// Arguments: frames, switch on, adding (process) instead of replacing, in place.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "effect/switch_effect.h"
#include "frame/opcodes.h"

namespace vela {

namespace {

constexpr int kCallsPerRound = 64;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A sample array on a cache-line boundary, as hosts usually hand them over: with whatever
// alignment the allocator happens to give, the figures would change from run to run.
class Samples {
public:
    Samples(std::size_t size, float value) : samples(new (std::align_val_t{64}) float[size])
    {
        std::fill(samples.get(), samples.get() + size, value);
    }
    float* data() { return samples.get(); }

private:
    struct Release {
        void operator()(float* pointer) const { ::operator delete[](pointer, std::align_val_t{64}); }
    };
    std::unique_ptr<float[], Release> samples;
};

void sampleLoop(benchmark::State& state)
{
    const auto frames = static_cast<int32_t>(state.range(0));
    const bool on = state.range(1) != 0;
    const bool accumulate = state.range(2) != 0;
    const bool inPlace = state.range(3) != 0;

    SwitchEffect effect(nullptr);
    AEffect* record = effect.getAeffect();
    record->dispatcher(record, effMainsChanged, 0, 1, nullptr, 0.0f);
    record->setParameter(record, 0, on ? 1.0f : 0.0f);
    const AEffectProcessProc run = accumulate ? record->process : record->processReplacing;

    const auto size = static_cast<std::size_t>(frames);
    Samples left(size, 0.25f), right(size, -0.5f), outLeft(size, 1.0f), outRight(size, 1.0f);
    Samples copyLeft(size, 0.0f), copyRight(size, 0.0f);
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    if (inPlace) {
        outputs[0] = inputs[0];
        outputs[1] = inputs[1];
    }

    // Rounds of effect calls alternate with rounds of copies; the fastest round of each
    // is the one least disturbed by the other programs on the machine.
    double effectBest = std::numeric_limits<double>::max();
    double copyBest = std::numeric_limits<double>::max();
    for (auto _ : state) {
        auto start = Clock::now();
        for (int call = 0; call < kCallsPerRound; ++call) {
            run(record, inputs, outputs, frames);
            benchmark::ClobberMemory();
        }
        const double effectSeconds = secondsSince(start);
        state.SetIterationTime(effectSeconds);

        start = Clock::now();
        for (int call = 0; call < kCallsPerRound; ++call) {
            std::memcpy(copyLeft.data(), left.data(), size * sizeof(float));
            std::memcpy(copyRight.data(), right.data(), size * sizeof(float));
            benchmark::ClobberMemory();
        }
        copyBest = std::min(copyBest, secondsSince(start));
        effectBest = std::min(effectBest, effectSeconds);
    }
    const double callsPerFrame = 1e9 / kCallsPerRound / frames;
    state.counters["ns/frame"] = effectBest * callsPerFrame;
    state.counters["copy ns/frame"] = copyBest * callsPerFrame;
    state.counters["x copy"] = effectBest / copyBest;
    state.SetItemsProcessed(state.iterations() * kCallsPerRound * frames);
}

void allCases(benchmark::internal::Benchmark* benchmark)
{
    benchmark->ArgNames({"frames", "on", "adding", "inPlace"});
    for (int64_t frames : {64, 256, 1024, 4096}) {
        for (int64_t on : {0, 1}) {
            for (int64_t adding : {0, 1}) {
                for (int64_t inPlace : {0, 1}) {
                    benchmark->Args({frames, on, adding, inPlace});
                }
            }
        }
    }
}

BENCHMARK(sampleLoop)->Apply(allCases)->UseManualTime();

} // namespace

} // namespace vela

BENCHMARK_MAIN();
