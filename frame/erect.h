// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace vela {

// The editor's rectangle as the host reads it: right and bottom are exclusive.
struct ERect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

static_assert(sizeof(ERect) == 8);

} // namespace vela
