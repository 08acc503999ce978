// SPDX-License-Identifier: MIT
#pragma once

#include "editor/button_editor.h"

namespace vela {

// The button editor, telling the LV2 UI which window it made: the host embeds that widget.
class EmbeddedButtonEditor : public ButtonEditor {
public:
    using ButtonEditor::ButtonEditor;

    // The editor's window while open, else null; an X11 window id cast to a pointer.
    WindowHandle windowHandle() const { return window; }
};

} // namespace vela
