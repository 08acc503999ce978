// SPDX-License-Identifier: MIT
#include "host/cli/sample_conversion.h"

#include <cmath>
#include <limits>
#include <type_traits>

namespace vela {

namespace {

// 2^15 for a short, 2^31 for an int.
template <typename Integer>
constexpr double kTopScale = static_cast<double>(uint64_t{1} << std::numeric_limits<Integer>::digits);

template <typename Integer>
void integersToFloats(const Integer* samples, float* floats, std::size_t count)
{
    constexpr auto unit = static_cast<float>(1.0 / kTopScale<Integer>);
    for (std::size_t i = 0; i < count; ++i) {
        floats[i] = static_cast<float>(samples[i]) * unit;
    }
}

// Samples of up to 16 bits are scaled, clipped and rounded exactly in floats, four to a vector
// register; wider ones need doubles.
template <typename Integer>
using Arithmetic = std::conditional_t<sizeof(Integer) == sizeof(int16_t), float, double>;

template <typename Integer>
void floatsToIntegers(const float* floats, Integer* samples, std::size_t count, double fullScale)
{
    using Real = Arithmetic<Integer>;
    // Added to and taken from a number at most a third of it in size, 1.5 * 2^(mantissa bits)
    // leaves that rounded to the nearest integer, ties to even, as nearbyint does; unlike
    // nearbyint it vectorises without SSE4.1.
    constexpr Real rounder = Real{1.5} * static_cast<Real>(uint64_t{1} << (std::numeric_limits<Real>::digits - 1));
    const auto scale = static_cast<Real>(fullScale);
    const Real highest = scale - 1;
    const auto step = static_cast<Real>(kTopScale<Integer> / fullScale);
    for (std::size_t i = 0; i < count; ++i) {
        // Exact, being a float times a power of two; a product too large for a float becomes
        // infinite and is clipped as the finite one would be.
        Real sample = floats[i] * scale;
        // An integer sample has no NaN; silence is the nearest honest stand-in.
        sample = std::isnan(sample) ? 0 : sample;
        // Clipped before rounding, which gives the same integers as the bounds are integers.
        sample = sample < -scale ? -scale : sample;
        sample = sample > highest ? highest : sample;
        sample = (sample + rounder) - rounder;
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
