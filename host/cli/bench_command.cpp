// SPDX-License-Identifier: MIT
// vela-host bench: what loading the module and processing a block cost, the latter against
// copying the same bytes, measured in the same run since shared machines are noisy.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "host/cli/audio_buffers.h"
#include "host/cli/command_line.h"
#include "host/cli/commands.h"
#include "host/cli/open_effect.h"
#include "host/plugin_module.h"

namespace vela {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLoadRuns = 101;
constexpr int kRounds = 7;
constexpr std::array<long, 4> kBlockSizes{64, 256, 1024, 4096};
constexpr auto kRoundTime = std::chrono::milliseconds(10);
constexpr float kSampleRate = 44100.0f;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Keeps the compiler from dropping copies whose results it never sees read.
void keep(const void* data)
{
    asm volatile("" : : "r"(data) : "memory");
}

// The median time to load each module, call its entry, close the effect and unload the module.
// The modules take turns run by run, so that each sees the same load on the machine.
std::vector<double> loadSeconds(const std::vector<std::string>& modulePaths)
{
    std::vector<std::vector<double>> runs(modulePaths.size());
    for (int run = 0; run < kLoadRuns; ++run) {
        for (std::size_t module = 0; module < modulePaths.size(); ++module) {
            const Clock::time_point start = Clock::now();
            {
                HostedEffect effect(PluginModule::load(modulePaths[module]));
                effect.close();
            }
            runs[module].push_back(secondsSince(start));
        }
    }
    std::vector<double> medians;
    for (const std::vector<double>& moduleRuns : runs) {
        medians.push_back(median(moduleRuns));
    }
    return medians;
}

// How many calls of work make one round of kRoundTime.
long callsPerRound(const std::function<void()>& work)
{
    long calls = 1;
    for (;;) {
        const Clock::time_point start = Clock::now();
        for (long call = 0; call < calls; ++call) {
            work();
        }
        if (Clock::now() - start >= kRoundTime || calls >= (1L << 24)) {
            return calls;
        }
        calls *= 2;
    }
}

double secondsPerCall(const std::function<void()>& work, long calls)
{
    const Clock::time_point start = Clock::now();
    for (long call = 0; call < calls; ++call) {
        work();
    }
    return secondsSince(start) / static_cast<double>(calls);
}

struct BlockCost {
    double effectSeconds;
    double copySeconds;
};

// The effect and the copy alternate round by round, so that both see the same load.
BlockCost blockCost(HostedEffect& effect, long frames)
{
    const AEffect& record = *effect.record();
    const int inputs = record.numInputs;
    const int outputs = std::max(record.numOutputs, 1);
    AudioBuffers in(inputs, static_cast<std::size_t>(frames), AudioBuffers::kInputOffset);
    AudioBuffers out(outputs, static_cast<std::size_t>(frames), AudioBuffers::kOutputOffset);
    uint32_t noise = 1;
    for (int channel = 0; channel < inputs; ++channel) {
        for (std::size_t frame = 0; frame < in.frames(); ++frame) {
            noise = noise * 1664525U + 1013904223U;
            in.channel(channel)[frame] = static_cast<float>(static_cast<int32_t>(noise)) * 0x1p-33f;
        }
    }

    effect.dispatch(effMainsChanged, 0, 0);
    effect.dispatch(effSetBlockSize, 0, frames);
    effect.dispatch(effMainsChanged, 0, 1);
    const auto count = static_cast<int32_t>(frames);
    const std::function<void()> process = [&] { effect.processReplacing(in.pointers(), out.pointers(), count); };
    // The reference: every input channel copied into an output; an effect without inputs is
    // measured against filling its outputs.
    const std::size_t bytes = static_cast<std::size_t>(frames) * sizeof(float);
    const std::function<void()> copy = [&] {
        for (int channel = 0; channel < std::max(inputs, 1); ++channel) {
            const float* source = inputs > 0 ? in.channel(channel) : out.channel(0);
            std::memcpy(out.channel(channel % outputs), source, bytes);
            keep(out.channel(channel % outputs));
        }
    };
    const long processCalls = callsPerRound(process);
    const long copyCalls = callsPerRound(copy);
    std::vector<double> processRounds;
    std::vector<double> copyRounds;
    for (int round = 0; round < kRounds; ++round) {
        processRounds.push_back(secondsPerCall(process, processCalls));
        copyRounds.push_back(secondsPerCall(copy, copyCalls));
    }
    return {median(processRounds), median(copyRounds)};
}

int runBench(const std::vector<std::string>& words)
{
    const CommandLine line(words, {"--compare"}, {});
    line.expectPositionals({"MODULE"});
    const std::string& modulePath = line.positionals()[0];
    std::vector<std::string> loaded{modulePath};
    for (const std::string& other : line.values("--compare")) {
        loaded.push_back(other);
    }

    // First, while nothing else holds the modules: a loaded module only gains a reference.
    const std::vector<double> load = loadSeconds(loaded);
    HostedEffect effect = openEffect(modulePath);
    const AEffect& record = *effect.record();
    if (!record.processReplacing || (record.flags & effFlagsCanReplacing) == 0) {
        throw std::runtime_error("the effect cannot replace its outputs (effFlagsCanReplacing "
                                 "unset): nothing to measure");
    }
    std::printf("module load + main + effClose + unload: %.3f ms (median of %d)\n", load[0] * 1e3, kLoadRuns);
    for (std::size_t other = 1; other < loaded.size(); ++other) {
        std::printf("  the same for %s: %.3f ms, in turns with the module\n", loaded[other].c_str(), load[other] * 1e3);
    }

    effect.dispatch(effSetSampleRate, 0, 0, nullptr, kSampleRate);
    std::printf("processReplacing, %d in, %d out, %.0f Hz; reference: memcpy of the %d input "
                "channel%s into the outputs\n",
                record.numInputs, record.numOutputs, static_cast<double>(kSampleRate), std::max(record.numInputs, 1),
                std::max(record.numInputs, 1) == 1 ? "" : "s");
    std::printf("%8s %14s %14s %16s %10s\n", "block", "ns per block", "ns per frame", "memcpy ns/frame", "ratio");
    for (const long frames : kBlockSizes) {
        const BlockCost cost = blockCost(effect, frames);
        std::printf("%8ld %14.1f %14.3f %16.3f %10.1f\n", frames, cost.effectSeconds * 1e9,
                    cost.effectSeconds * 1e9 / static_cast<double>(frames),
                    cost.copySeconds * 1e9 / static_cast<double>(frames), cost.effectSeconds / cost.copySeconds);
    }
    effect.dispatch(effMainsChanged, 0, 0);
    return 0;
}

} // namespace

const Command benchCommand{
    "bench",
    "MODULE [--compare OTHER]...",
    "load latency, and processing cost per frame against memcpy, at four block sizes",
    "Measures, on this machine and now:\n"
    "  - loading MODULE, calling its entry, closing the effect and unloading the module\n"
    "    (median of 101 runs), and the same for each OTHER module, in turns with MODULE;\n"
    "  - one processReplacing call at block sizes 64, 256, 1024 and 4096, as time per\n"
    "    block and per frame, and as a ratio to copying the same bytes (memcpy of every\n"
    "    input channel into an output) measured in the same run, round by round.\n"
    "Each figure is the median of 7 rounds of at least 10 ms. Ratios travel between\n"
    "machines better than times do; neither is a pass/fail verdict.\n",
    runBench,
};

} // namespace vela
