// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace vela {

// One instance of the downmix switch as an LV2 host runs it: while the switch port is on both
// outputs carry the mean of the two inputs, while it is off each input passes to its own output.
class Lv2Switch {
public:
    // Points a port at the host's buffer, or forgets it for null. Audio ports may share one
    // buffer in any combination (in place or not). Called from any thread but never during run.
    void connectPort(uint32_t port, void* data);
    // Mixes one block of the connected buffers; does nothing while a port is unconnected.
    // Audio thread: allocates nothing, locks nothing.
    void run(uint32_t frames) const;

private:
    const float* inLeft = nullptr;
    const float* inRight = nullptr;
    float* outLeft = nullptr;
    float* outRight = nullptr;
    const float* switchPort = nullptr;
};

} // namespace vela
