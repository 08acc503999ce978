// SPDX-License-Identifier: MIT
// A module with the faults a conformance run must report without going down with them: its
// dispatcher crashes on one opcode, its output is not a number, its parameters forget.

#include <csignal>
#include <cstdint>
#include <limits>

#include "frame/aeffect.h"
#include "frame/opcodes.h"

namespace vela {
namespace {

AEffect record{};

intptr_t dispatch(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float)
{
    if (opcode == effGetVendorVersion) {
        std::raise(SIGSEGV);
    }
    return 0;
}

void processReplacing(AEffect*, float**, float** outputs, int32_t sampleFrames)
{
    for (int32_t i = 0; i < sampleFrames; ++i) {
        outputs[0][i] = std::numeric_limits<float>::quiet_NaN();
    }
}

void setParameter(AEffect*, int32_t, float) {}

float getParameter(AEffect*, int32_t)
{
    return 0.5f;
}

} // namespace
} // namespace vela

using namespace vela;

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback)
{
    record.magic = kEffectMagic;
    record.dispatcher = dispatch;
    record.process = processReplacing;
    record.processReplacing = processReplacing;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.numPrograms = 1;
    record.numParams = 2;
    record.numInputs = 1;
    record.numOutputs = 1;
    record.flags = effFlagsCanReplacing;
    return &record;
}
