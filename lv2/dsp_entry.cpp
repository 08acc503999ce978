// SPDX-License-Identifier: MIT
// The DSP module's entry point: the one descriptor an LV2 host finds through lv2_descriptor.
#include <lv2/core/lv2.h>

#include <new>

#include "lv2/lv2_switch.h"
#include "lv2/lv2_uris.h"

namespace vela {
namespace {

// Any rate and any feature set will do: the switch keeps no state that depends on either.
LV2_Handle instantiate(const LV2_Descriptor*, double, const char*, const LV2_Feature* const*)
{
    return new (std::nothrow) Lv2Switch();
}

void connectPort(LV2_Handle instance, uint32_t port, void* data)
{
    static_cast<Lv2Switch*>(instance)->connectPort(port, data);
}

void run(LV2_Handle instance, uint32_t frames)
{
    static_cast<const Lv2Switch*>(instance)->run(frames);
}

void cleanup(LV2_Handle instance)
{
    delete static_cast<Lv2Switch*>(instance);
}

const void* extensionData(const char*)
{
    return nullptr;
}

const LV2_Descriptor descriptor = {kLv2PluginUri, instantiate, connectPort, nullptr,
                                   run,           nullptr,     cleanup,     extensionData};

} // namespace
} // namespace vela

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &vela::descriptor : nullptr;
}
