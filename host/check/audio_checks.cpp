// SPDX-License-Identifier: MIT
// The checks that play audio through the effect: silence, noise at every rate and block size,
// suspending and resuming, a block larger than announced, and what the audio thread does.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "host/check/checks.h"
#include "host/check/realtime_guard.h"

namespace vela {

namespace {

constexpr float kSampleRate = 44100.0f;
constexpr int32_t kBlockSize = 512;
constexpr int kSilentBlocks = 32;
// Very quiet input: noise at -400 dBFS, far below any signal yet far above the denormals,
// which an effect's own arithmetic must not fall to either.
constexpr float kQuietLevel = 1e-20f;
// Rates a host may run at, with one that is not a whole number.
constexpr float kSampleRates[] = {22050.0f, 44100.0f, 48000.0f, 88200.0f, 96000.0f, 176400.0f, 192000.0f, 44099.7f};
constexpr int32_t kFixedBlocks[] = {1, 7, 64, 512, 4096};
constexpr int32_t kLargestBlock = 4096;
// Separate and in-place buffers may round differently, never by more than this.
constexpr float kInPlaceTolerance = 1e-5f;
// What an accumulating call's outputs hold before it adds to them.
constexpr float kAccumulateOnto = 0.25f;
constexpr float kAccumulateTolerance = 1e-4f;
// Denormal input may cost this many times the time of ordinary input before a warning.
constexpr double kDenormalSlowdown = 4.0;
constexpr float kDenormal = 1e-40f;

std::string rateText(float rate)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", double{rate});
    return text;
}

// The block sizes of one pass: a fixed size, or (with size 0) a random sequence.
std::vector<int32_t> blockPlan(int32_t size, int32_t totalFrames, CheckRandom& random)
{
    std::vector<int32_t> plan;
    for (int32_t done = 0; done < totalFrames;) {
        const int32_t frames = size > 0 ? size : random.between(1, kLargestBlock);
        plan.push_back(frames);
        done += frames;
    }
    return plan;
}

std::string planText(int32_t size)
{
    return size > 0 ? "blocks of " + std::to_string(size) : "random blocks";
}

// Fresh effects for one pass, each running from the same input.
struct Instance {
    std::unique_ptr<HostedEffect> effect;
    std::unique_ptr<AudioRun> run;
    CheckRandom input;
    ProcessMode mode;
};

Instance startInstance(const CheckSettings& settings, float rate, int32_t maxBlock, ProcessMode mode, uint64_t seed)
{
    auto effect = std::make_unique<HostedEffect>(createCheckedEffect(settings.modulePath));
    startAudio(*effect, rate, maxBlock);
    auto run = std::make_unique<AudioRun>(*effect, maxBlock);
    return {std::move(effect), std::move(run), CheckRandom(seed), mode};
}

// Seconds for blocks of constant input, the best of three tries.
double timeBlocks(AudioRun& run, ProcessMode mode, float value, int blocks)
{
    double best = 1e9;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto start = std::chrono::steady_clock::now();
        for (int block = 0; block < blocks; ++block) {
            run.constantBlock(kBlockSize, mode, value);
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

CheckOutcome checkSilence(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    HostedEffect effect = createCheckedEffect(settings.modulePath);
    note("starting audio");
    startAudio(effect, kSampleRate, kBlockSize);
    const ProcessMode mode = canReplace(*effect.record()) ? ProcessMode::separate : ProcessMode::accumulating;
    AudioRun run(effect, kBlockSize);
    CheckRandom random(settings.seed);
    double peak = 0.0;
    for (int block = 0; block < 2 * kSilentBlocks; ++block) {
        const bool silent = block < kSilentBlocks;
        const char* input = silent ? "silence" : "noise at -400 dBFS";
        note(std::string(input) + ", block " + std::to_string(block));
        const std::vector<float*>& outputs =
            silent ? run.constantBlock(kBlockSize, mode, 0.0f) : run.block(kBlockSize, mode, random, 0.0f, kQuietLevel);
        const std::string abnormal = run.firstAbnormal();
        if (!abnormal.empty()) {
            return failed("expected finite, normal output for " + std::string(input) + " in; got " + abnormal +
                          " in block " + std::to_string(block));
        }
        for (const float* channel : outputs) {
            for (int32_t frame = 0; silent && frame < kBlockSize; ++frame) {
                peak = std::max(peak, std::fabs(double{channel[frame]}));
            }
        }
    }
    effect.dispatch(effMainsChanged, 0, 0);
    char text[200];
    std::snprintf(text, sizeof text,
                  "%d blocks of %d frames of silence, then of noise at -400 dBFS, through %s: finite and normal, "
                  "peak %g for silence",
                  kSilentBlocks, kBlockSize, mode == ProcessMode::separate ? "processReplacing" : "process", peak);
    return passed(text);
}

CheckOutcome checkProcess(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    CheckRandom random(settings.seed);
    const int32_t framesPerPass = settings.scaled(2048, 16384);
    std::vector<float> rates(std::begin(kSampleRates), std::end(kSampleRates));
    if (settings.strictness < 5) {
        rates = {22050.0f, 44100.0f, 192000.0f, 44099.7f};
    }
    std::vector<int32_t> sizes(std::begin(kFixedBlocks), std::end(kFixedBlocks));
    sizes.push_back(0);

    const bool replacing = canReplace(*createCheckedEffect(settings.modulePath).record());
    const ProcessMode mainMode = replacing ? ProcessMode::separate : ProcessMode::accumulating;
    std::vector<ProcessMode> modes{mainMode, mainMode};
    if (replacing) {
        modes.push_back(ProcessMode::inPlace);
    }
    int64_t blocksRun = 0;
    for (const float rate : rates) {
        for (const int32_t size : sizes) {
            const std::vector<int32_t> plan = blockPlan(size, framesPerPass, random);
            const int32_t maxBlock = *std::max_element(plan.begin(), plan.end());
            const std::string where = rateText(rate) + ", " + planText(size);
            const uint64_t inputSeed = random.next();
            std::vector<Instance> instances;
            for (const ProcessMode mode : modes) {
                note("starting an effect at " + where);
                instances.push_back(startInstance(settings, rate, maxBlock, mode, inputSeed));
            }
            for (std::size_t index = 0; index < plan.size(); ++index) {
                const std::string step =
                    where + ", block " + std::to_string(index) + " (" + std::to_string(plan[index]) + " frames)";
                for (Instance& instance : instances) {
                    note(step + ", " + processModeName(instance.mode));
                    instance.run->block(plan[index], instance.mode, instance.input);
                    const std::string abnormal = instance.run->firstAbnormal();
                    if (!abnormal.empty()) {
                        return failed("expected finite, normal output for noise in; got " + abnormal + " at " + step +
                                      " through " + processModeName(instance.mode));
                    }
                }
                ++blocksRun;
                // The first two instances are alike: the same input must give the same output.
                if (!instances[0].run->sameOutput(*instances[1].run)) {
                    return failed("expected the same output from two fresh effects given the same input; they "
                                  "differ by " +
                                  std::to_string(instances[0].run->largestDifference(*instances[1].run)) + " at " +
                                  step + " (not deterministic)");
                }
                if (instances.size() > 2) {
                    const float difference = instances[2].run->largestDifference(*instances[0].run);
                    if (difference > kInPlaceTolerance) {
                        return failed("expected in-place output equal to separate buffers' output; it differs by " +
                                      std::to_string(difference) + " at " + step);
                    }
                }
            }
        }
    }

    std::vector<std::string> warnings;
    HostedEffect first = createCheckedEffect(settings.modulePath);
    if (replacing && first.record()->process) {
        // process adds to what the outputs hold: it must give processReplacing's output plus that.
        note("process against processReplacing at " + rateText(kSampleRate));
        Instance replaced = startInstance(settings, kSampleRate, kBlockSize, ProcessMode::separate, settings.seed);
        Instance added = startInstance(settings, kSampleRate, kBlockSize, ProcessMode::accumulating, settings.seed);
        for (int block = 0; block < 16; ++block) {
            replaced.run->block(kBlockSize, replaced.mode, replaced.input);
            added.run->block(kBlockSize, added.mode, added.input, kAccumulateOnto);
            const std::string abnormal = added.run->firstAbnormal();
            if (!abnormal.empty()) {
                return failed("expected finite output from process; got " + abnormal + " in block " +
                              std::to_string(block));
            }
            const float difference = added.run->largestDifference(*replaced.run, kAccumulateOnto);
            if (added.run->largestDifference(*replaced.run) <= kAccumulateTolerance) {
                warnings.push_back("process replaces what the outputs hold instead of adding to it");
                break;
            }
            if (difference > kAccumulateTolerance) {
                return failed("expected process to add processReplacing's output to the outputs; it differs by " +
                              std::to_string(difference) + " in block " + std::to_string(block));
            }
        }
    }
    {
        note("timing denormal input");
        Instance timed = startInstance(settings, kSampleRate, kBlockSize, mainMode, settings.seed);
        const int blocks = settings.scaled(16, 128);
        const double ordinary = timeBlocks(*timed.run, mainMode, 0.1f, blocks);
        const double denormal = timeBlocks(*timed.run, mainMode, kDenormal, blocks);
        if (denormal > ordinary * kDenormalSlowdown && denormal > 1e-3) {
            char text[128];
            std::snprintf(text, sizeof text, "denormal input takes %.1f times as long as ordinary input",
                          denormal / ordinary);
            warnings.push_back(text);
        }
    }
    char text[256];
    std::snprintf(text, sizeof text,
                  "%zu rates from 22050 to 192000 Hz, blocks of 1 to 4096 and random: %lld blocks of noise, %s: "
                  "finite, normal, deterministic",
                  rates.size(), static_cast<long long>(blocksRun),
                  replacing
                      ? (first.record()->process ? "separate, in place and accumulating" : "separate and in place")
                      : "accumulating");
    return warnings.empty() ? passed(text) : warned(faultList(warnings));
}

CheckOutcome checkSuspend(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    HostedEffect effect = createCheckedEffect(settings.modulePath);
    const ProcessMode mode = canReplace(*effect.record()) ? ProcessMode::separate : ProcessMode::accumulating;
    CheckRandom random(settings.seed);
    AudioRun run(effect, kLargestBlock);
    struct Setting {
        float rate;
        int32_t block;
    };
    const Setting settingsInTurn[] = {{44100.0f, 512}, {96000.0f, 256}, {48000.0f, 4096}, {44100.0f, 64}};
    effect.dispatch(effOpen);
    int turn = 0;
    for (const Setting& setting : settingsInTurn) {
        const std::string where = rateText(setting.rate) + ", blocks of " + std::to_string(setting.block);
        note("effMainsChanged off, then " + where);
        effect.dispatch(effMainsChanged, 0, 0);
        effect.dispatch(effSetSampleRate, 0, 0, nullptr, setting.rate);
        effect.dispatch(effSetBlockSize, 0, setting.block);
        effect.dispatch(effMainsChanged, 0, 1);
        if (turn++ == 1) {
            // Off and on again with nothing in between.
            effect.dispatch(effMainsChanged, 0, 0);
            effect.dispatch(effMainsChanged, 0, 1);
        }
        for (int block = 0; block < 8; ++block) {
            note("resumed at " + where + ", block " + std::to_string(block));
            run.block(setting.block, mode, random);
            const std::string abnormal = run.firstAbnormal();
            if (!abnormal.empty()) {
                return failed("expected finite, normal output after resuming at " + where + "; got " + abnormal +
                              " in block " + std::to_string(block));
            }
        }
    }
    effect.dispatch(effMainsChanged, 0, 0);
    return passed("suspended and resumed 4 times, rate and block size changed in between: output finite and normal");
}

CheckOutcome checkLargeBlock(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    HostedEffect effect = createCheckedEffect(settings.modulePath);
    const ProcessMode mode = canReplace(*effect.record()) ? ProcessMode::separate : ProcessMode::accumulating;
    CheckRandom random(settings.seed);
    constexpr int32_t kLarge = kBlockSize * 4;
    startAudio(effect, kSampleRate, kBlockSize);
    AudioRun run(effect, kLarge);
    note("a block of " + std::to_string(kBlockSize));
    run.block(kBlockSize, mode, random);
    note("a block of " + std::to_string(kLarge) + " after effSetBlockSize " + std::to_string(kBlockSize));
    run.block(kLarge, mode, random);
    const std::string abnormal = run.firstAbnormal();
    if (!abnormal.empty()) {
        return failed("a block of " + std::to_string(kLarge) + " frames after effSetBlockSize " +
                      std::to_string(kBlockSize) + " gave " + abnormal);
    }
    return passed("a block of " + std::to_string(kLarge) + " frames after effSetBlockSize " +
                  std::to_string(kBlockSize) + ": finite, normal");
}

CheckOutcome checkRealtime(const CheckSettings& settings, const IsolatedCheck::Note& note)
{
    RealtimeGuard::prepare();
    // What the host does when the effect calls it is the host's business.
    RecordingHost::setCallbackHook([](bool entering) { entering ? RealtimeGuard::pause() : RealtimeGuard::resume(); });
    HostedEffect effect = createCheckedEffect(settings.modulePath);
    const AEffect& record = *effect.record();
    CheckRandom random(settings.seed);
    startAudio(effect, kSampleRate, kBlockSize);
    std::vector<ProcessMode> modes;
    if (canReplace(record)) {
        modes.push_back(ProcessMode::separate);
    }
    if (record.process) {
        modes.push_back(ProcessMode::accumulating);
    }
    if (modes.empty()) {
        return failed("expected processReplacing with effFlagsCanReplacing, or process; the record offers no "
                      "audio call to watch");
    }
    // Declared after the effect, so that its module is still loaded when the watch ends.
    const RealtimeGuard::Watch watch(modes.front() == ProcessMode::separate
                                         ? reinterpret_cast<const void*>(record.processReplacing)
                                         : reinterpret_cast<const void*>(record.process));
    // One run per call, so that the report names the call that did it.
    std::vector<std::unique_ptr<AudioRun>> runs;
    for (std::size_t index = 0; index < modes.size(); ++index) {
        runs.push_back(std::make_unique<AudioRun>(effect, kBlockSize));
        runs.back()->guard();
    }
    const int blocks = settings.scaled(32, 256);
    for (int block = 0; block < blocks; ++block) {
        // Between blocks, as the host's automation would.
        if (block % 8 == 7 && record.numParams > 0) {
            effect.setParameter(random.between(0, record.numParams - 1), random.unit());
        }
        for (std::size_t index = 0; index < modes.size(); ++index) {
            note(std::string(processModeName(modes[index])) + ", block " + std::to_string(block));
            runs[index]->block(kBlockSize, modes[index], random);
        }
    }
    const std::string where = " in " + std::to_string(blocks) + " blocks of " + std::to_string(kBlockSize);
    std::vector<std::string> faults;
    for (std::size_t index = 0; index < modes.size(); ++index) {
        const RealtimeGuard::Counts& seen = runs[index]->guardedCounts();
        if (seen.allocations + seen.locks + seen.systemCalls == 0) {
            continue;
        }
        std::string first;
        for (const char* name : {seen.firstAllocation, seen.firstLock, seen.firstSystemCall}) {
            if (name) {
                first += (first.empty() ? "" : ", ") + std::string(name);
            }
        }
        faults.push_back(std::string(modes[index] == ProcessMode::accumulating ? "process" : "processReplacing") +
                         " made " + counted(static_cast<int64_t>(seen.allocations), "allocation") + ", " +
                         counted(static_cast<int64_t>(seen.locks), "lock") + ", " +
                         counted(static_cast<int64_t>(seen.systemCalls), "system call") + where + " (first: " + first +
                         ")");
    }
    if (!faults.empty()) {
        return failed("expected no allocation, lock or system call on the audio thread; " + faultList(faults));
    }
    const std::string watched = RealtimeGuard::watchesLocksAndSystemCalls()
                                    ? "no allocation, lock or system call"
                                    : "no allocation (locks and system calls are not watched in this build)";
    return passed(watched + where + " through " +
                  (modes.size() > 1                        ? "processReplacing and process"
                   : modes[0] == ProcessMode::accumulating ? "process"
                                                           : "processReplacing"));
}

} // namespace vela
