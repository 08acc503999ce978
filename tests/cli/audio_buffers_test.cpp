// SPDX-License-Identifier: MIT
// The audio blocks vela-host hands effects: where their arrays lie.

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "host/cli/audio_buffers.h"

namespace vela {

namespace {

std::uintptr_t offsetInPage(const float* samples)
{
    return reinterpret_cast<std::uintptr_t>(samples) % 4096;
}

TEST(AudioBuffers, ChannelsOfACallAreZeroedApartAndAtTheirOwnPlaceInAPage)
{
    for (const std::size_t frames : {1u, 7u, 64u, 1024u, 4096u}) {
        AudioBuffers in(2, frames, AudioBuffers::kInputOffset);
        AudioBuffers out(3, frames, AudioBuffers::kOutputOffset);
        std::set<std::uintptr_t> offsets;
        std::vector<std::pair<const float*, const float*>> spans;
        for (AudioBuffers* block : {&in, &out}) {
            for (int channel = 0; channel < block->channels(); ++channel) {
                const float* samples = block->channel(channel);
                ASSERT_EQ(block->pointers()[channel], samples);
                for (std::size_t frame = 0; frame < frames; ++frame) {
                    ASSERT_EQ(samples[frame], 0.0f) << frames << " frames, channel " << channel;
                }
                offsets.insert(offsetInPage(samples));
                spans.emplace_back(samples, samples + frames);
            }
        }
        // The same place in a page whatever the heap did: a cache line further for each channel.
        EXPECT_EQ(offsetInPage(in.channel(1)), 2048u + 64u);
        EXPECT_EQ(offsetInPage(out.channel(2)), 2u * 64u);
        EXPECT_EQ(offsets.size(), 5u) << frames << " frames";
        for (std::size_t a = 0; a < spans.size(); ++a) {
            for (std::size_t b = a + 1; b < spans.size(); ++b) {
                EXPECT_TRUE(spans[a].second <= spans[b].first || spans[b].second <= spans[a].first)
                    << frames << " frames: arrays " << a << " and " << b << " overlap";
            }
        }
    }
}

TEST(AudioBuffers, ClearZeroesWhatAnEffectWrote)
{
    AudioBuffers block(2, 512, 64);
    block.channel(0)[0] = 1.0f;
    block.channel(1)[511] = -1.0f;
    block.clear();
    EXPECT_EQ(block.channel(0)[0], 0.0f);
    EXPECT_EQ(block.channel(1)[511], 0.0f);
}

} // namespace

} // namespace vela
