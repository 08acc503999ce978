// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "frame/aeffect.h"

namespace vela {

// A switch value a host may set before the editor's button is pressed, normalised, and whether
// the button shows it lit: a press turns every lit value off and every unlit one on.
struct HostSwitchValue {
    float normalised;
    bool lit;
};

// The host's "fully on" and values below it, down to the smallest lit one; then unlit ones.
inline constexpr HostSwitchValue kHostSwitchValues[] = {
    {1.0f, true}, {0.99f, true}, {0.5f, true}, {2.0f / 127.0f, true}, {0.5f / 127.0f, false}, {0.0f, false},
};

// What one block through the record's processReplacing makes of two distinct inputs: "mean"
// when both outputs carry their mean, "through" when each carries its own input, else the
// samples. Resumes the effect first, as a host does before processing.
std::string processedBlock(AEffect* record);

} // namespace vela
