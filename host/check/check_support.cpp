// SPDX-License-Identifier: MIT
#include "host/check/check_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace vela {

const char* processModeName(ProcessMode mode)
{
    switch (mode) {
    case ProcessMode::separate:
        return "processReplacing, separate buffers";
    case ProcessMode::inPlace:
        return "processReplacing, in place";
    case ProcessMode::accumulating:
        return "process, accumulating";
    }
    return "?";
}

HostedEffect createCheckedEffect(const std::string& modulePath)
{
    auto host = std::make_shared<RecordingHost>();
    host->setStringAnswer(audioMasterGetProductString, "vela-host");
    host->setStringAnswer(audioMasterGetVendorString, "Vela");
    HostedEffect effect(PluginModule::load(modulePath, PluginModule::Binding::lazy), host);
    if (!effect.record()) {
        throw std::runtime_error("the entry returned no effect");
    }
    if (effect.record()->magic != kEffectMagic) {
        throw std::runtime_error("the record's magic is not VstP");
    }
    return effect;
}

void startAudio(HostedEffect& effect, float sampleRate, int32_t blockSize)
{
    effect.dispatch(effOpen);
    effect.dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    effect.dispatch(effSetBlockSize, 0, blockSize);
    effect.dispatch(effMainsChanged, 0, 1);
}

bool canReplace(const AEffect& record)
{
    return record.processReplacing && (record.flags & effFlagsCanReplacing);
}

AudioRun::AudioRun(HostedEffect& effect, int32_t maxFrames)
    : hostedEffect(effect),
      inputs(std::max(effect.record()->numInputs, effect.record()->numOutputs), static_cast<std::size_t>(maxFrames),
             AudioBuffers::kInputOffset),
      outputs(effect.record()->numOutputs, static_cast<std::size_t>(maxFrames), AudioBuffers::kOutputOffset),
      lastOutputs(&separatePointers)
{
    const int32_t outputCount = effect.record()->numOutputs;
    for (int32_t channel = 0; channel < outputCount; ++channel) {
        separatePointers.push_back(outputs.channel(channel));
        inPlacePointers.push_back(inputs.channel(channel));
    }
}

const std::vector<float*>& AudioRun::block(int32_t count, ProcessMode mode, CheckRandom& random, float accumulateOnto,
                                           float level)
{
    for (int channel = 0; channel < inputs.channels(); ++channel) {
        std::generate_n(inputs.channel(channel), count, [&random, level] { return random.noise() * level; });
    }
    return run(count, mode, accumulateOnto);
}

const std::vector<float*>& AudioRun::constantBlock(int32_t count, ProcessMode mode, float value)
{
    for (int channel = 0; channel < inputs.channels(); ++channel) {
        std::fill_n(inputs.channel(channel), count, value);
    }
    return run(count, mode, 0.0f);
}

namespace {

void addCounts(RealtimeGuard::Counts& total, const RealtimeGuard::Counts& more)
{
    total.firstAllocation = total.firstAllocation ? total.firstAllocation : more.firstAllocation;
    total.firstLock = total.firstLock ? total.firstLock : more.firstLock;
    total.firstSystemCall = total.firstSystemCall ? total.firstSystemCall : more.firstSystemCall;
    total.allocations += more.allocations;
    total.locks += more.locks;
    total.systemCalls += more.systemCalls;
}

} // namespace

const std::vector<float*>& AudioRun::run(int32_t count, ProcessMode mode, float accumulateOnto)
{
    if (count < 0 || static_cast<std::size_t>(count) > outputs.frames()) {
        throw std::logic_error("a block larger than the run's buffers");
    }
    frames = count;
    if (mode == ProcessMode::accumulating) {
        for (int channel = 0; channel < outputs.channels(); ++channel) {
            std::fill_n(outputs.channel(channel), outputs.frames(), accumulateOnto);
        }
    }
    if (guarded) {
        RealtimeGuard::arm();
    }
    switch (mode) {
    case ProcessMode::separate:
        outputs.clear();
        lastOutputs = &separatePointers;
        hostedEffect.processReplacing(inputs.pointers(), separatePointers.data(), count);
        break;
    case ProcessMode::inPlace:
        lastOutputs = &inPlacePointers;
        hostedEffect.processReplacing(inputs.pointers(), inPlacePointers.data(), count);
        break;
    case ProcessMode::accumulating:
        lastOutputs = &separatePointers;
        hostedEffect.process(inputs.pointers(), separatePointers.data(), count);
        break;
    }
    if (guarded) {
        addCounts(seen, RealtimeGuard::disarm());
    }
    return *lastOutputs;
}

std::string AudioRun::firstAbnormal() const
{
    for (std::size_t channel = 0; channel < lastOutputs->size(); ++channel) {
        const float* samples = (*lastOutputs)[channel];
        for (int32_t frame = 0; frame < frames; ++frame) {
            const int kind = std::fpclassify(samples[frame]);
            if (kind == FP_NAN || kind == FP_INFINITE || kind == FP_SUBNORMAL) {
                const char* name = kind == FP_NAN ? "nan" : kind == FP_INFINITE ? "infinity" : "a denormal";
                return std::string(name) + " at output " + std::to_string(channel + 1) + ", frame " +
                       std::to_string(frame);
            }
        }
    }
    return "";
}

bool AudioRun::sameOutput(const AudioRun& other) const
{
    if (frames != other.frames || lastOutputs->size() != other.lastOutputs->size()) {
        return false;
    }
    for (std::size_t channel = 0; channel < lastOutputs->size(); ++channel) {
        if (std::memcmp((*lastOutputs)[channel], (*other.lastOutputs)[channel],
                        static_cast<std::size_t>(frames) * sizeof(float)) != 0) {
            return false;
        }
    }
    return true;
}

float AudioRun::largestDifference(const AudioRun& other, float offset) const
{
    float largest = 0.0f;
    const std::size_t channels = std::min(lastOutputs->size(), other.lastOutputs->size());
    for (std::size_t channel = 0; channel < channels; ++channel) {
        for (int32_t frame = 0; frame < std::min(frames, other.frames); ++frame) {
            const float difference =
                std::fabs((*lastOutputs)[channel][frame] - offset - (*other.lastOutputs)[channel][frame]);
            // A NaN on one side is as different as it gets.
            largest = std::isnan(difference) ? INFINITY : std::max(largest, difference);
        }
    }
    return largest;
}

std::string counted(int64_t count, const char* noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string faultList(const std::vector<std::string>& faults)
{
    constexpr std::size_t kShown = 3;
    std::string text;
    for (std::size_t i = 0; i < faults.size() && i < kShown; ++i) {
        text += (text.empty() ? "" : "; ") + faults[i];
    }
    if (faults.size() > kShown) {
        text += "; and " + std::to_string(faults.size() - kShown) + " more";
    }
    return text;
}

CheckOutcome passed(std::string detail)
{
    return {true, std::move(detail), false, ""};
}

CheckOutcome warned(std::string detail)
{
    return {true, std::move(detail), true, ""};
}

CheckOutcome failed(std::string detail)
{
    return {false, std::move(detail), false, ""};
}

CheckOutcome skipped(std::string detail)
{
    return {true, std::move(detail), false, "", true};
}

} // namespace vela
