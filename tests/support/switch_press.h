// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "frame/aeffect.h"
#include "host/recording_host.h"

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

// What a host sees of a press on a lit or unlit button, given the calls it received since:
// one audioMasterAutomate of parameter 0 from the record with 0 (off) or 1/127 (on), the
// parameter reading the same, and the next block passing each input through or giving both
// outputs their mean. Answers "" when so, else what differs. Resumes the effect to process.
std::string pressOutcome(AEffect* record, const std::vector<HostCall>& calls, bool wasLit);

} // namespace vela
