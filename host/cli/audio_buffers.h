// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <vector>

namespace vela {

// A block of audio as an effect takes it: one zeroed array per channel and the array of
// their addresses that process and processReplacing read.
//
// Each channel starts on a page of its own, the first firstOffset bytes into it and each next
// one a cache line further. Where the arrays lie then does not depend on the heap, so timings
// repeat from run to run. Processors hold a load back behind an earlier store to the same place
// in another page, so a call's outputs should not trail its inputs by a little within their
// pages: kInputOffset and kOutputOffset keep them half a page apart, inputs behind.
class AudioBuffers {
public:
    static constexpr std::size_t kInputOffset = 2048;
    static constexpr std::size_t kOutputOffset = 0;

    AudioBuffers(int channels, std::size_t frames, std::size_t firstOffset);

    float** pointers() { return channelPointers.data(); }
    float* channel(int index) { return channelPointers[index]; }
    int channels() const { return static_cast<int>(channelPointers.size()); }
    std::size_t frames() const { return frameCount; }
    // Sets every sample to 0, as an accumulating call needs.
    void clear();

private:
    std::size_t frameCount;
    std::vector<float> samples;
    std::vector<float*> channelPointers;
};

} // namespace vela
