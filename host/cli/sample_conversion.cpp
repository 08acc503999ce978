// SPDX-License-Identifier: MIT
#include "host/cli/sample_conversion.h"

#include <cmath>
#include <limits>

namespace vela {

namespace {

// 2^15 for a short, 2^31 for an int.
template <typename Integer>
constexpr double kTopScale = static_cast<double>(uint64_t{1} << std::numeric_limits<Integer>::digits);

// Added to and taken from a double below 2^51 in size, 1.5 * 2^52 leaves it rounded to the
// nearest integer, ties to even, as nearbyint does; unlike nearbyint it vectorises without
// SSE4.1.
constexpr double kRounder = 0x1.8p52;

template <typename Integer>
void integersToFloats(const Integer* samples, float* floats, std::size_t count)
{
    constexpr auto unit = static_cast<float>(1.0 / kTopScale<Integer>);
    for (std::size_t i = 0; i < count; ++i) {
        floats[i] = static_cast<float>(samples[i]) * unit;
    }
}

template <typename Integer>
void floatsToIntegers(const float* floats, Integer* samples, std::size_t count, double fullScale)
{
    const double highest = fullScale - 1.0;
    const double step = kTopScale<Integer> / fullScale;
    for (std::size_t i = 0; i < count; ++i) {
        double sample = floats[i] * fullScale;
        // An integer sample has no NaN; silence is the nearest honest stand-in.
        sample = std::isnan(sample) ? 0.0 : sample;
        // Clipped before rounding, which gives the same integers as the bounds are integers.
        sample = sample < -fullScale ? -fullScale : sample;
        sample = sample > highest ? highest : sample;
        sample = (sample + kRounder) - kRounder;
        samples[i] = static_cast<Integer>(sample * step);
    }
}

} // namespace

void toFloats(const int16_t* samples, float* floats, std::size_t count)
{
    integersToFloats(samples, floats, count);
}

void toFloats(const int32_t* samples, float* floats, std::size_t count)
{
    integersToFloats(samples, floats, count);
}

void toIntegers(const float* floats, int16_t* samples, std::size_t count, double fullScale)
{
    floatsToIntegers(floats, samples, count, fullScale);
}

void toIntegers(const float* floats, int32_t* samples, std::size_t count, double fullScale)
{
    floatsToIntegers(floats, samples, count, fullScale);
}

} // namespace vela
