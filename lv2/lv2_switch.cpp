// SPDX-License-Identifier: MIT
#include "lv2/lv2_switch.h"

#include <algorithm>
#include <limits>

#include "effect/sample_kernels.h"
#include "lv2/switch_ports.h"

namespace vela {

void Lv2Switch::connectPort(uint32_t port, void* data)
{
    switch (port) {
    case kInLeft:
        inLeft = static_cast<const float*>(data);
        break;
    case kInRight:
        inRight = static_cast<const float*>(data);
        break;
    case kOutLeft:
        outLeft = static_cast<float*>(data);
        break;
    case kOutRight:
        outRight = static_cast<float*>(data);
        break;
    case kSwitchPort:
        switchPort = static_cast<const float*>(data);
        break;
    default:
        break;
    }
}

void Lv2Switch::run(uint32_t frames) const
{
    if (!inLeft || !inRight || !outLeft || !outRight || !switchPort) {
        return;
    }
    const bool mean = switchPortIsOn(*switchPort);
    // The kernels count frames in 32-bit signed integers; a longer block goes in pieces, which
    // frame-by-frame equality keeps exact even for buffers that overlap.
    constexpr uint32_t kLongestPiece = std::numeric_limits<int32_t>::max();
    for (uint32_t done = 0; done < frames;) {
        const uint32_t piece = std::min(frames - done, kLongestPiece);
        const StereoBlock block{inLeft + done, inRight + done, outLeft + done, outRight + done,
                                static_cast<int32_t>(piece)};
        mixBlock(block, mean, false);
        done += piece;
    }
}

} // namespace vela
