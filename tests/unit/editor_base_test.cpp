// SPDX-License-Identifier: MIT
// The editor base's defaults and its update mechanism.

#include <gtest/gtest.h>

#include "frame/editor_base.h"
#include "frame/effect_core.h"

namespace vela {

namespace {

class SilentEffect : public EffectCore {
public:
    SilentEffect() : EffectCore(nullptr, 1, 1) {}
    void process(float**, float**, int32_t) override {}
};

// Counts updates, and asks for another one from inside the update numbered requestAgainDuring.
class CountingEditor : public EditorBase {
public:
    using EditorBase::EditorBase;

    void update() override
    {
        if (++updates == requestAgainDuring) {
            requestUpdate();
        }
    }
    void* parent() const { return parentWindow; }

    int updates = 0;
    int requestAgainDuring = 0;
};

TEST(EditorBase, HasNoRectangleAndOpensNoWindow)
{
    SilentEffect effect;
    CountingEditor editor(effect);
    ERect dummy{};
    ERect* rect = &dummy;
    EXPECT_EQ(editor.getRect(&rect), 0);
    EXPECT_EQ(rect, nullptr);
    int parent = 0;
    EXPECT_EQ(editor.open(&parent), 0);
    EXPECT_EQ(editor.parent(), &parent);
}

TEST(EditorBase, IdleRunsOneUpdatePerRequestBatch)
{
    SilentEffect effect;
    CountingEditor editor(effect);
    editor.idle();
    EXPECT_EQ(editor.updates, 0);
    editor.requestUpdate();
    editor.requestUpdate();
    editor.idle();
    editor.idle();
    EXPECT_EQ(editor.updates, 1);
    // A request made during an update waits for the next tick.
    editor.requestAgainDuring = 2;
    editor.requestUpdate();
    editor.idle();
    EXPECT_EQ(editor.updates, 2);
    editor.idle();
    editor.idle();
    EXPECT_EQ(editor.updates, 3);
}

} // namespace

} // namespace vela
