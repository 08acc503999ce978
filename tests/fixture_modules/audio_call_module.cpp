// SPDX-License-Identifier: MIT
// A stereo pass-through without parameters or programs for the Windows checks, built once
// for each call its processReplacing must not make (VELA_AUDIO_CALL): none, allocates,
// locks, writes; and as sharedcxx, which names its vendor through the C++ library and is
// linked against that library's DLL: the module that loads only where the DLL is on the
// search path.

#define VELA_AUDIO_CALL_none 0
#define VELA_AUDIO_CALL_allocates 1
#define VELA_AUDIO_CALL_locks 2
#define VELA_AUDIO_CALL_writes 3
#define VELA_AUDIO_CALL_sharedcxx 4
#define VELA_AUDIO_CALL_IS(name) (VELA_AUDIO_CALL == VELA_AUDIO_CALL_##name)

#include <cstdio>
#include <cstdlib>
#include <cstring>
#if VELA_AUDIO_CALL_IS(sharedcxx)
#include <string>
#endif

#include <windows.h>

#include "frame/aeffect.h"
#include "frame/opcodes.h"

namespace vela {
namespace {

AEffect record{};
CRITICAL_SECTION stateLock;
// Volatile, so that the compiler keeps the calls that do nothing.
void* volatile scratch = nullptr;
volatile std::size_t traceLength = 0;

intptr_t dispatch(AEffect*, int32_t opcode, int32_t, intptr_t, void* ptr, float)
{
    if (opcode != effGetVendorString) {
        return 0;
    }
#if VELA_AUDIO_CALL_IS(sharedcxx)
    const std::string vendor = std::string("Vela ") + "fixtures";
    std::snprintf(static_cast<char*>(ptr), 64, "%s", vendor.c_str());
#else
    std::snprintf(static_cast<char*>(ptr), 64, "%s", "Vela fixtures");
#endif
    return 1;
}

void processReplacing(AEffect*, float** inputs, float** outputs, int32_t frames)
{
#if VELA_AUDIO_CALL_IS(allocates)
    scratch = std::malloc(static_cast<std::size_t>(frames) * sizeof(float));
    std::free(scratch);
#elif VELA_AUDIO_CALL_IS(locks)
    EnterCriticalSection(&stateLock);
    LeaveCriticalSection(&stateLock);
#elif VELA_AUDIO_CALL_IS(writes)
    std::fwrite("trace\n", 1, traceLength, stderr);
#endif
    for (int channel = 0; channel < 2; ++channel) {
        std::memmove(outputs[channel], inputs[channel], static_cast<std::size_t>(frames) * sizeof(float));
    }
}

void process(AEffect*, float** inputs, float** outputs, int32_t frames)
{
    for (int channel = 0; channel < 2; ++channel) {
        for (int32_t frame = 0; frame < frames; ++frame) {
            outputs[channel][frame] += inputs[channel][frame];
        }
    }
}

void setParameter(AEffect*, int32_t, float) {}

float getParameter(AEffect*, int32_t)
{
    return 0.0f;
}

} // namespace
} // namespace vela

using namespace vela;

// The export table comes from the module definition file.
extern "C" AEffect* VSTPluginMain(audioMasterCallback)
{
    static const bool initialized = (InitializeCriticalSection(&stateLock), true);
    (void)initialized;
    record.magic = kEffectMagic;
    record.dispatcher = dispatch;
    record.process = process;
    record.processReplacing = processReplacing;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.numInputs = 2;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
    return &record;
}
