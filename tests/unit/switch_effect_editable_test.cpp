// SPDX-License-Identifier: MIT
// The final effect class: its identity, its editor, and a construction whose editor could not
// be allocated.

#include <gtest/gtest.h>

#include <new>

#include "frame/opcodes.h"
#include "plugin/switch_effect_editable.h"

namespace {

bool failNextNothrowAllocation = false;

} // namespace

// The effect allocates its editor without exceptions; this lets a test make that one
// allocation fail. Every other nothrow allocation of the program passes through.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (failNextNothrowAllocation) {
        failNextNothrowAllocation = false;
        return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace vela {
namespace {

TEST(SwitchEffectEditable, HasItsIdentifierAndItsEditorWithTheSwitchOff)
{
    SwitchEffectEditable effect(nullptr);
    EXPECT_FALSE(effect.editorCreationFailed);
    const AEffect& record = *effect.getAeffect();
    EXPECT_EQ(record.uniqueID, fourCharCode("VeLE"));
    EXPECT_EQ(record.flags, effFlagsHasEditor | effFlagsCanSingleChannel | effFlagsCanReplacing);
    ASSERT_NE(effect.getEditor(), nullptr);
    EXPECT_EQ(effect.switchValue(), 0.0f);
}

TEST(SwitchEffectEditable, AFailedEditorAllocationMarksOnlyThatConstruction)
{
    failNextNothrowAllocation = true;
    SwitchEffectEditable failed(nullptr);
    EXPECT_TRUE(failed.editorCreationFailed);
    EXPECT_EQ(failed.getEditor(), nullptr);
    EXPECT_EQ(failed.getAeffect()->flags & effFlagsHasEditor, 0);

    // One transient failure does not spoil the instances a host creates afterwards.
    SwitchEffectEditable later(nullptr);
    EXPECT_FALSE(later.editorCreationFailed);
    EXPECT_NE(later.getEditor(), nullptr);
}

} // namespace

} // namespace vela
