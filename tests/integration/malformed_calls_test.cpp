// SPDX-License-Identifier: MIT
// What the built module answers to calls a careless host makes: null texts, frame counts that
// are negative or zero, operations it does not know, parameters that are not numbers or do not
// exist, and editor calls out of order. Each row of the README's table is one case here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "frame/aeffect.h"
#include "frame/erect.h"
#include "frame/opcodes.h"
#include "frame/vst_pin_properties.h"
#include "host/hosted_effect.h"
#include "host/plugin_module.h"

namespace vela {

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

std::shared_ptr<PluginModule> module()
{
    static const std::shared_ptr<PluginModule> loaded = PluginModule::load(VELA_MODULE_PATH);
    return loaded;
}

struct NullTextCase {
    EffectOpcode opcode;
    intptr_t answer;
};

class NullText : public testing::TestWithParam<NullTextCase> {};

TEST_P(NullText, IsAnsweredWithoutWriting)
{
    HostedEffect effect(module());
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_EQ(effect.dispatch(GetParam().opcode, 0, 0, nullptr), GetParam().answer);
    // Still answering afterwards: the call broke nothing.
    EXPECT_EQ(effect.dispatchString(effGetEffectName), "Vela");
}

INSTANTIATE_TEST_SUITE_P(MalformedCalls, NullText,
                         testing::Values(NullTextCase{effSetProgramName, 0}, NullTextCase{effGetProgramName, 0},
                                         NullTextCase{effGetParamLabel, 0}, NullTextCase{effGetParamDisplay, 0},
                                         NullTextCase{effGetParamName, 0}, NullTextCase{effGetEffectName, 0},
                                         NullTextCase{effGetVendorString, 0}, NullTextCase{effGetProductString, 0},
                                         NullTextCase{effCanDo, -1}, NullTextCase{effGetOutputProperties, 0},
                                         NullTextCase{effEditGetRect, 1}));

// A block whose frame count is not positive changes no output, running and on.
class FrameCount : public testing::TestWithParam<int32_t> {};

TEST_P(FrameCount, NotPositiveLeavesTheOutputsAlone)
{
    HostedEffect effect(module());
    effect.dispatch(effMainsChanged, 0, 1);
    effect.setParameter(0, 1.0f);
    std::vector<float> left(8, 1.0f), right(8, 3.0f), outLeft(8, -7.0f), outRight(8, -9.0f);
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    effect.processReplacing(inputs, outputs, GetParam());
    effect.process(inputs, outputs, GetParam());
    EXPECT_EQ(outLeft, std::vector<float>(8, -7.0f));
    EXPECT_EQ(outRight, std::vector<float>(8, -9.0f));
}

INSTANTIATE_TEST_SUITE_P(MalformedCalls, FrameCount, testing::Values(0, -1, -512, std::numeric_limits<int32_t>::min()));

// Operations outside 0 to 58 answer 0 and leave the host's buffer alone.
class UnknownOperation : public testing::TestWithParam<int32_t> {};

TEST_P(UnknownOperation, AnswersZeroAndWritesNothing)
{
    HostedEffect effect(module());
    char buffer[256];
    std::memset(buffer, 0x5A, sizeof buffer);
    AEffect* record = effect.record();
    EXPECT_EQ(record->dispatcher(record, GetParam(), 3, 7, buffer, 1.0f), 0);
    EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](char byte) { return byte == 0x5A; }));
}

INSTANTIATE_TEST_SUITE_P(MalformedCalls, UnknownOperation,
                         testing::Values(-1, 59, 60, 1000, std::numeric_limits<int32_t>::min(),
                                         std::numeric_limits<int32_t>::max()));

// What a parameter value that is not a number or beyond the float range leads to: it reads
// back as set, the display says ON, and the sample loop, which looks at the low eight bits of
// the truncated value (zero for these), passes the input through.
struct ParameterCase {
    float value;
    bool readsNaN;
};

class OddParameter : public testing::TestWithParam<ParameterCase> {};

TEST_P(OddParameter, ReadsBackShowsOnAndPassesThrough)
{
    HostedEffect effect(module());
    effect.dispatch(effMainsChanged, 0, 1);
    effect.setParameter(0, GetParam().value);
    const float read = effect.getParameter(0);
    if (GetParam().readsNaN) {
        EXPECT_TRUE(std::isnan(read));
    } else if (std::isinf(GetParam().value)) {
        EXPECT_EQ(read, GetParam().value);
    } else {
        // Too large to scale: the largest float of its sign, scaled back.
        EXPECT_EQ(read, std::copysign(std::numeric_limits<float>::max(), GetParam().value) / 127.0f);
    }
    EXPECT_EQ(effect.dispatchString(effGetParamDisplay, 0), "ON");
    std::vector<float> left{1.0f, 2.0f}, right{5.0f, 8.0f}, outLeft(2), outRight(2);
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    effect.processReplacing(inputs, outputs, 2);
    EXPECT_EQ(outLeft, left);
    EXPECT_EQ(outRight, right);
}

INSTANTIATE_TEST_SUITE_P(MalformedCalls, OddParameter,
                         testing::Values(ParameterCase{kNaN, true}, ParameterCase{kInfinity, false},
                                         ParameterCase{-kInfinity, false},
                                         ParameterCase{std::numeric_limits<float>::max(), false},
                                         ParameterCase{-3e37f, false}));

TEST(MalformedCalls, ParameterThatDoesNotExistIsIgnoredAndReadsZero)
{
    HostedEffect effect(module());
    for (int32_t index : {-1, 1, 19, 20, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()}) {
        effect.setParameter(index, 1.0f);
        EXPECT_EQ(effect.getParameter(index), 0.0f) << index;
        EXPECT_EQ(effect.dispatchString(effGetParamDisplay, index), "") << index;
    }
    EXPECT_EQ(effect.getParameter(0), 0.0f);
}

TEST(MalformedCalls, ProgramThatDoesNotExistIsIgnored)
{
    HostedEffect effect(module());
    for (intptr_t program : {intptr_t{-1}, intptr_t{1}, std::numeric_limits<intptr_t>::max()}) {
        effect.dispatch(effSetProgram, 0, program);
        EXPECT_EQ(effect.dispatch(effGetProgram), 0) << program;
    }
}

// Editor calls before any open, after a close or twice in a row leave nothing open and break
// nothing: a later open still answers 1, and closing twice is harmless.
TEST(MalformedCalls, EditorCallsOutOfOrderAreHarmless)
{
    HostedEffect effect(module());
    EXPECT_EQ(effect.dispatch(effEditClose), 0);
    EXPECT_EQ(effect.dispatch(effEditIdle), 0);
    for (EffectOpcode opcode : {effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep}) {
        EXPECT_EQ(effect.dispatch(opcode), 0) << opcode;
    }
    ERect* rect = nullptr;
    EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 256);
    EXPECT_EQ(effect.dispatch(effEditClose), 0);
    EXPECT_EQ(effect.dispatchString(effGetEffectName), "Vela");
}

} // namespace

} // namespace vela
