// SPDX-License-Identifier: MIT
#include "host/cli/audio_buffers.h"

#include <algorithm>
#include <cstdint>

namespace vela {

namespace {

constexpr std::size_t kPageBytes = 4096;
constexpr std::size_t kPageFloats = kPageBytes / sizeof(float);
constexpr std::size_t kCacheLineFloats = 64 / sizeof(float);

std::size_t roundUpToPage(std::size_t floats)
{
    return (floats + kPageFloats - 1) / kPageFloats * kPageFloats;
}

} // namespace

AudioBuffers::AudioBuffers(int channels, std::size_t frames, std::size_t firstOffset)
    : frameCount(frames),
      channelPointers(static_cast<std::size_t>(std::max(channels, 0)))
{
    const std::size_t count = channelPointers.size();
    // Each channel's pages with room for its offset into the first; a page more to align them.
    const std::size_t stride = roundUpToPage(frames) + kPageFloats;
    samples.assign(count * stride + kPageFloats, 0.0f);
    const auto address = reinterpret_cast<std::uintptr_t>(samples.data());
    const std::uintptr_t pageAddress = (address + kPageBytes - 1) / kPageBytes * kPageBytes;
    float* const firstPage = samples.data() + (pageAddress - address) / sizeof(float);
    for (std::size_t index = 0; index < count; ++index) {
        const std::size_t offset = (firstOffset / sizeof(float) + index * kCacheLineFloats) % kPageFloats;
        channelPointers[index] = firstPage + index * stride + offset;
    }
}

void AudioBuffers::clear()
{
    std::fill(samples.begin(), samples.end(), 0.0f);
}

} // namespace vela
