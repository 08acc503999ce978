// SPDX-License-Identifier: MIT
// A module whose effect is built on the core base alone, for testing the host library and the
// frame as a host sees them.

#include <algorithm>

#include "frame/effect_core.h"

namespace vela {
namespace {

// Copies its one input to both outputs, adding to what they hold.
class FrameTestEffect : public EffectCore {
public:
    explicit FrameTestEffect(audioMasterCallback host) : EffectCore(host, 3, 5) {}

    void process(float** inputs, float** outputs, int32_t sampleFrames) override
    {
        for (int32_t i = 0; i < sampleFrames; ++i) {
            outputs[0][i] += inputs[0][i];
            outputs[1][i] += inputs[0][i];
        }
    }
};

} // namespace
} // namespace vela

using namespace vela;

#ifdef _WIN32
// The export table comes from the module definition file.
#define MODULE_EXPORT
#else
#define MODULE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" MODULE_EXPORT AEffect* VSTPluginMain(audioMasterCallback host)
{
    return (new FrameTestEffect(host))->getAeffect();
}

#ifndef _WIN32
// A C++ function may not be called main, so the symbol gets the name directly.
extern "C" MODULE_EXPORT __attribute__((alias("VSTPluginMain"))) AEffect*
pluginMainAlias(audioMasterCallback host) __asm__("main");
#endif
