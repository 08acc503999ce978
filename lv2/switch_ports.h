// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace vela {

// The plug-in's ports by index, in the order vela.ttl lists them; the DSP and the UI share them.
enum SwitchPort : uint32_t { kInLeft, kInRight, kOutLeft, kOutRight, kSwitchPort, kPortCount };

// A toggled port is on above zero; NaN counts as off.
inline bool switchPortIsOn(float value)
{
    return value > 0.0f;
}

} // namespace vela
