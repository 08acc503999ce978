// SPDX-License-Identifier: MIT
#include "tests/support/switch_press.h"

#include <vector>

#include "frame/opcodes.h"

namespace vela {

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
        samples += samples.empty() ? "" : " | ";
        for (float sample : *channel) {
            samples += std::to_string(sample) + " ";
        }
    }
    return samples;
}

} // namespace vela
