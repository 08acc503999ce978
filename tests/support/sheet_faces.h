// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vela {

// The editor faces as the committed bitmap sheet defines them, for comparing with what a real
// window shows. Pixels are 0xRRGGBB, rows from the top.

inline constexpr int kFaceWidth = 256;
inline constexpr int kFaceHeight = 96;

// The whole 256×252 sheet; empty when the file cannot be read.
std::vector<uint32_t> sheetPixels();

// The face the editor shows: the off face, with the lit button laid over it when lit.
std::vector<uint32_t> sheetFace(bool lit);

// Empty when the two pictures agree; else where they first differ and in how many pixels.
std::string firstDifference(const std::vector<uint32_t>& actual, const std::vector<uint32_t>& expected);

} // namespace vela
