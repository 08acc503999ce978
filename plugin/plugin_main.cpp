// SPDX-License-Identifier: MIT
// The module's one entry point: a host calls it once for every effect instance it wants.

#include "frame/opcodes.h"
#include "plugin/switch_effect_editable.h"

#include <new>

#ifdef _WIN32
// The export table, with main at ordinal 1, comes from the module definition file.
#define MODULE_EXPORT
#else
#define MODULE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" MODULE_EXPORT vela::AEffect* VSTPluginMain(vela::audioMasterCallback hostCallback)
{
    if (hostCallback == nullptr) {
        return nullptr;
    }
    // A host that answers 0 speaks no version of the interface this effect knows.
    if (hostCallback(nullptr, vela::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    auto* effect = new (std::nothrow) vela::SwitchEffectEditable(hostCallback);
    if (effect == nullptr) {
        return nullptr;
    }
    if (effect->editorCreationFailed) {
        delete effect;
        return nullptr;
    }
    return effect->getAeffect();
}

#ifndef _WIN32
// A C++ function may not be called main, so the symbol gets the name directly.
extern "C" MODULE_EXPORT __attribute__((alias("VSTPluginMain"))) vela::AEffect*
pluginMainAlias(vela::audioMasterCallback hostCallback) __asm__("main");
#endif
