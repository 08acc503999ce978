// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

namespace vela {

// Samples between the integers libsndfile reads and writes without converting and floats from
// -1 to 1, a buffer at a time, in loops the compiler turns into vector instructions.
//
// An integer sample fills its short or int from the top: a 16-bit sample n is n as a short and
// n * 65536 as an int, a 24-bit one n * 256 as an int, an 8-bit one n * 256 as a short.

// n / 2^15 for shorts and n / 2^31 for ints: the floats libsndfile's own reads give.
void toFloats(const int16_t* samples, float* floats, std::size_t count);
void toFloats(const int32_t* samples, float* floats, std::size_t count);

// Each float times fullScale (2^(bits - 1) of the file's samples), rounded to the nearest
// integer with ties to even, clipped to -fullScale .. fullScale - 1, a NaN as 0.
void toIntegers(const float* floats, int16_t* samples, std::size_t count, double fullScale);
void toIntegers(const float* floats, int32_t* samples, std::size_t count, double fullScale);

} // namespace vela
