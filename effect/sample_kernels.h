// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace vela {

// One block's arrays as the host hands them: two inputs and two outputs, any of which may be the
// same array as another or overlap it.
struct StereoBlock {
    const float* inLeft;
    const float* inRight;
    float* outLeft;
    float* outRight;
    int32_t frames;
};

// The switch's sound, one frame at a time: with mean, both outputs get (left + right) / 2;
// without it, each input goes to its own output. accumulate adds to what the outputs hold
// instead of replacing it. Each frame reads both inputs, then writes the left output, then the
// right one. Every faster kernel must give exactly what this loop gives.
void mixReference(const StereoBlock& block, bool mean, bool accumulate);

// Gives exactly mixReference's result, as fast as the processor allows: vectors when each output
// is an input or apart from every other array, the reference loop when arrays partly overlap.
// Allocates nothing, locks nothing, and uses the vector width chosen when the module loaded.
void mixBlock(const StereoBlock& block, bool mean, bool accumulate);

} // namespace vela
