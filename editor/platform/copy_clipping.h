// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace vela {

// A rectangle copy from one surface to another, in 64 bits so that no sum of 32-bit
// coordinates overflows.
struct CopyArea {
    int64_t toX;
    int64_t toY;
    int64_t fromX;
    int64_t fromY;
    int64_t width;
    int64_t height;
};

// Clips a copy to both surfaces, as a rectangle copy on Windows leaves everything outside them
// alone: what falls off either surface at the start moves both origins on; what falls off at
// the end is cut. False when nothing is left to copy.
bool clipCopy(CopyArea& area, int toWidth, int toHeight, int fromWidth, int fromHeight);

} // namespace vela
