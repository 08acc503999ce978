// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <vector>

namespace vela {

// A block of audio as an effect takes it: one zeroed array per channel and the array of
// their addresses that process and processReplacing read.
class AudioBuffers {
public:
    AudioBuffers(int channels, std::size_t frames);

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
