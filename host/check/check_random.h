// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace vela {

// The checks' source of random values: the same seed gives the same sequence on every
// platform, so a failure can be replayed with the seed the run printed.
class CheckRandom {
public:
    explicit CheckRandom(uint64_t seed) : state(seed) {}

    // splitmix64.
    uint64_t next()
    {
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    // From 0 up to, not including, 1.
    float unit() { return static_cast<float>(next() >> 40) * (1.0f / 16777216.0f); }
    // Noise from -0.5 to 0.5, about -15 dBFS RMS.
    float noise() { return unit() - 0.5f; }
    // A whole number from low to high, both included.
    int32_t between(int32_t low, int32_t high)
    {
        const uint64_t span = static_cast<uint64_t>(int64_t{high} - low) + 1;
        return static_cast<int32_t>(low + static_cast<int64_t>(next() % span));
    }

private:
    uint64_t state;
};

} // namespace vela
