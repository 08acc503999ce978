// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstddef>

namespace vela {

// One program slot: a normalised value per parameter and the program's name.
struct ProgramRecord {
    static constexpr std::size_t kValueCount = 20;
    static constexpr std::size_t kNameSize = 24;

    ProgramRecord() : name("-- error --") {}

    // Written by whichever thread changes a parameter (the host's or the editor's), so each
    // value is atomic; relaxed accesses cost what plain ones do.
    std::atomic<float> values[kValueCount];
    // At most kNameSize - 1 characters and the terminator.
    char name[kNameSize];
};

} // namespace vela
