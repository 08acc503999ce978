// SPDX-License-Identifier: MIT
#pragma once

// What the checks of vela-host check share: the run's settings, a fresh effect, audio in
// and out of it, and the words of their reports.

#include <cstdint>
#include <string>
#include <vector>

#include "host/check/check_random.h"
#include "host/check/isolated_check.h"
#include "host/check/realtime_guard.h"
#include "host/cli/audio_buffers.h"
#include "host/hosted_effect.h"

namespace vela {

// What a run of checks was asked for.
struct CheckSettings {
    std::string modulePath;
    // 1 (the cheap checks, little of each) to 10 (every check, as much as each does).
    int strictness = 5;
    uint64_t seed = 0;
    // Why there is no display for editors; empty when there is one.
    std::string displayProblem;
    bool skipGui = false;

    // A count that grows with the strictness: least at 1, most at 10.
    int scaled(int least, int most) const { return least + (most - least) * (strictness - 1) / 9; }
};

using CheckBody = CheckOutcome (*)(const CheckSettings& settings, const IsolatedCheck::Note& note);

// How an effect is handed its audio.
enum class ProcessMode {
    // processReplacing with separate input and output arrays.
    separate,
    // processReplacing with the outputs the same arrays as the inputs.
    inPlace,
    // process, which adds to what the outputs hold.
    accumulating,
};

const char* processModeName(ProcessMode mode);

// A new effect from the module, its record checked; throws when there is none.
HostedEffect createCheckedEffect(const std::string& modulePath);
// effOpen, the rate and block size, effMainsChanged on.
void startAudio(HostedEffect& effect, float sampleRate, int32_t blockSize);
// Whether the effect takes processReplacing: the flag and the function both there.
bool canReplace(const AEffect& record);

// Audio through one effect, block after block, with the buffers it needs for blocks of up
// to maxFrames.
class AudioRun {
public:
    AudioRun(HostedEffect& effect, int32_t maxFrames);

    // Fills the inputs' first frames with noise from random, scaled by level, runs one block
    // in mode and answers the outputs' arrays. In place, the outputs are the inputs' arrays.
    // Accumulating, the outputs hold accumulateOnto before the call.
    const std::vector<float*>& block(int32_t frames, ProcessMode mode, CheckRandom& random, float accumulateOnto = 0.0f,
                                     float level = 1.0f);
    // The same with every input sample value.
    const std::vector<float*>& constantBlock(int32_t frames, ProcessMode mode, float value);
    // The first output sample of the last block that is not finite or is denormal, as "nan at
    // output 2, frame 17"; empty when there is none.
    std::string firstAbnormal() const;
    // Whether the outputs of the last block call the effect's whole output (every channel's
    // first frames) the same, bit for bit, as other's last block.
    bool sameOutput(const AudioRun& other) const;
    // The largest difference between the last blocks' outputs of this run, less offset, and
    // other's; infinity when either holds a NaN.
    float largestDifference(const AudioRun& other, float offset = 0.0f) const;
    // Counts with RealtimeGuard what the effect's calls do, and only those calls.
    void guard() { guarded = true; }
    const RealtimeGuard::Counts& guardedCounts() const { return seen; }
    int32_t lastFrames() const { return frames; }

private:
    const std::vector<float*>& run(int32_t frames, ProcessMode mode, float accumulateOnto);

    HostedEffect& hostedEffect;
    AudioBuffers inputs;
    AudioBuffers outputs;
    std::vector<float*> separatePointers;
    std::vector<float*> inPlacePointers;
    const std::vector<float*>* lastOutputs;
    int32_t frames = 0;
    bool guarded = false;
    RealtimeGuard::Counts seen;
};

std::string counted(int64_t count, const char* noun);
// The first few faults, and how many more there are.
std::string faultList(const std::vector<std::string>& faults);
CheckOutcome passed(std::string detail);
CheckOutcome warned(std::string detail);
CheckOutcome failed(std::string detail);
CheckOutcome skipped(std::string detail);

} // namespace vela
