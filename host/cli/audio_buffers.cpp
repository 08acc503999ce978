// SPDX-License-Identifier: MIT
#include "host/cli/audio_buffers.h"

#include <algorithm>

namespace vela {

AudioBuffers::AudioBuffers(int channels, std::size_t frames)
    : frameCount(frames),
      samples(static_cast<std::size_t>(channels) * frames, 0.0f),
      channelPointers(static_cast<std::size_t>(channels))
{
    for (std::size_t index = 0; index < channelPointers.size(); ++index) {
        channelPointers[index] = samples.data() + index * frames;
    }
}

void AudioBuffers::clear()
{
    std::fill(samples.begin(), samples.end(), 0.0f);
}

} // namespace vela
