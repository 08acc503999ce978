// SPDX-License-Identifier: MIT
#include "plugin/switch_effect_editable.h"

#include <new>

#include "editor/button_editor.h"

namespace vela {

SwitchEffectEditable::SwitchEffectEditable(audioMasterCallback hostCallback)
    : SwitchEffect(hostCallback),
      editorCreationFailed(false)
{
    setUniqueID(kEditableEffectId);
    // The editor registers itself with this effect, which owns it from then on.
    auto* buttonEditor = new (std::nothrow) ButtonEditor(*this);
    if (getEditor() == nullptr) {
        editorCreationFailed = true;
        return;
    }
    buttonEditor->reset();
}

SwitchEffectEditable::~SwitchEffectEditable() = default;

} // namespace vela
