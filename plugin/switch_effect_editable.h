// SPDX-License-Identifier: MIT
#pragma once

#include "effect/switch_effect.h"

namespace vela {

// The effect a host loads: the switch effect with its button editor.
class SwitchEffectEditable : public SwitchEffect {
public:
    explicit SwitchEffectEditable(audioMasterCallback hostCallback);
    ~SwitchEffectEditable() override;

    // True when this construction could not create the editor; the entry point then
    // discards the effect.
    bool editorCreationFailed;
};

} // namespace vela
