// SPDX-License-Identifier: MIT
#include "frame/editor_base.h"

namespace vela {

EditorBase::EditorBase(EffectCore& effect) : effect(effect), parentWindow(nullptr), updatePending(0) {}

EditorBase::~EditorBase() = default;

int32_t EditorBase::getRect(ERect** rect)
{
    if (rect) {
        *rect = nullptr;
    }
    return 0;
}

int32_t EditorBase::open(void* parent)
{
    parentWindow = parent;
    return 0;
}

void EditorBase::close() {}

void EditorBase::idle()
{
    // Cleared first, so a request made during update stays pending for the next tick.
    if (updatePending != 0) {
        updatePending = 0;
        update();
    }
}

void EditorBase::update() {}

void EditorBase::requestUpdate()
{
    updatePending = 1;
}

} // namespace vela
