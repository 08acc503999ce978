// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace vela {

// The host's record describing one audio pin. The effect fills label and flags and leaves the
// rest of the host's record alone, so hosts may pass a larger record.
struct VstPinProperties {
    char label[64];
    int32_t flags;
};

enum VstPinFlags : int32_t {
    kVstPinIsActive = 1,
    kVstPinIsStereo = 2,
};

} // namespace vela
