// SPDX-License-Identifier: MIT
#include "tests/support/switch_press.h"

#include "frame/opcodes.h"

namespace vela {

namespace {

// What one block through processReplacing makes of two distinct inputs: "mean", "through",
// or the samples.
std::string processedBlock(AEffect* record)
{
    record->dispatcher(record, effMainsChanged, 0, 1, nullptr, 0.0f);
    std::vector<float> left = {1.0f, -2.0f, 0.5f};
    std::vector<float> right = {3.0f, 4.0f, -0.5f};
    std::vector<float> outLeft(left.size(), 9.0f);
    std::vector<float> outRight(left.size(), 9.0f);
    float* inputs[] = {left.data(), right.data()};
    float* outputs[] = {outLeft.data(), outRight.data()};
    record->processReplacing(record, inputs, outputs, static_cast<int32_t>(left.size()));
    const std::vector<float> mean = {2.0f, 1.0f, 0.0f};
    if (outLeft == mean && outRight == mean) {
        return "mean";
    }
    if (outLeft == left && outRight == right) {
        return "through";
    }
    std::string samples;
    for (const std::vector<float>* channel : {&outLeft, &outRight}) {
        samples += samples.empty() ? "" : "| ";
        for (float sample : *channel) {
            samples += std::to_string(sample) + " ";
        }
    }
    return samples;
}

} // namespace

std::string pressOutcome(AEffect* record, const std::vector<HostCall>& calls, bool wasLit)
{
    const float reported = wasLit ? 0.0f : 1.0f / 127.0f;
    std::string differences;
    if (calls.size() != 1 || calls[0].effect != record || calls[0].opcode != audioMasterAutomate ||
        calls[0].index != 0 || calls[0].opt != reported) {
        differences += "the host got " + std::to_string(calls.size()) + " calls";
        if (!calls.empty()) {
            differences += ", the first " + std::to_string(calls[0].opcode) + " of " + std::to_string(calls[0].index) +
                           " with " + std::to_string(calls[0].opt);
        }
        differences += ", not one report of " + std::to_string(reported) + "; ";
    }
    const float parameter = record->getParameter(record, 0);
    if (parameter != reported) {
        differences += "the parameter reads " + std::to_string(parameter) + "; ";
    }
    const std::string block = processedBlock(record);
    if (block != (wasLit ? "through" : "mean")) {
        differences += "a block gives " + block;
    }
    return differences;
}

} // namespace vela
