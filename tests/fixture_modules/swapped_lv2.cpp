// SPDX-License-Identifier: MIT
// The LV2 bundle's DSP module with its two outputs swapped: it loads the real module
// (VELA_LV2_DSP_PATH) and connects the host's left output buffer where the plug-in writes its
// right one and back. With the switch off the channels come out exchanged: a fault every host
// test must see.

#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include "lv2/switch_ports.h"

namespace {

const LV2_Descriptor* real = nullptr;
LV2_Descriptor swapped;

void connectSwapped(LV2_Handle instance, uint32_t port, void* data)
{
    if (port == vela::kOutLeft || port == vela::kOutRight) {
        port = port == vela::kOutLeft ? vela::kOutRight : vela::kOutLeft;
    }
    real->connect_port(instance, port, data);
}

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    if (!real) {
        void* module = dlopen(VELA_LV2_DSP_PATH, RTLD_NOW | RTLD_LOCAL);
        auto* entry = module ? reinterpret_cast<LV2_Descriptor_Function>(dlsym(module, "lv2_descriptor")) : nullptr;
        real = entry ? entry(0) : nullptr;
        if (!real) {
            return nullptr;
        }
        swapped = *real;
        swapped.connect_port = connectSwapped;
    }
    return index == 0 ? &swapped : nullptr;
}
