// SPDX-License-Identifier: MIT
// The switch effect as a host sees it: created through an entry with a recording host and
// driven through the record's function pointers.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "effect/sample_kernels.h"
#include "effect/switch_effect.h"
#include "frame/opcodes.h"
#include "frame/vst_pin_properties.h"
#include "host/recording_host.h"

namespace vela {

namespace {

constexpr char kCanary = static_cast<char>(0xA5);
const std::string kCanaries(8, kCanary);

struct HostedSwitch {
    HostedSwitch()
        : record(host.callEntry([](audioMasterCallback host) { return (new SwitchEffect(host))->getAeffect(); })),
          effect(*static_cast<SwitchEffect*>(static_cast<EffectCore*>(record->object)))
    {
    }
    ~HostedSwitch()
    {
        dispatch(effClose);
        host.forget(record);
    }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr)
    {
        return record->dispatcher(record, opcode, index, value, ptr, 0.0f);
    }
    float internal() const { return effect.switchValue(); }
    void run(float* const* inputs, float* const* outputs, int32_t frames, bool accumulate)
    {
        (accumulate ? record->process : record->processReplacing)(record, const_cast<float**>(inputs),
                                                                  const_cast<float**>(outputs), frames);
    }

    RecordingHost host;
    AEffect* record;
    SwitchEffect& effect;
};

// Exactly one report of parameter 0 with this value, from this record.
void expectOneReport(const std::vector<HostCall>& calls, AEffect* record, float value)
{
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].effect, record);
    EXPECT_EQ(calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_EQ(calls[0].value, 0);
    EXPECT_EQ(calls[0].ptr, nullptr);
    EXPECT_EQ(calls[0].opt, value);
}

TEST(SwitchEffectParameter, NormalisedValueSetsInternalValueDisplayAndMix)
{
    const float oneStep = 1.0f / 127.0f;
    const float belowOneStep = std::nextafter(oneStep, 0.0f);
    struct Row {
        float normalised;
        float internal;
        bool mixes;
        std::string display;
    };
    const Row rows[] = {
        {0.0f, 0.0f, false, "OFF"},
        {1.0f, 127.0f, true, "ON"},
        {0.5f, 63.5f, true, "ON"},
        {0.005f, 127.0f * 0.005f, false, "OFF"},
        {oneStep, 1.0f, true, "ON"},
        {belowOneStep, 127.0f * belowOneStep, false, "OFF"},
        {-0.5f, -63.5f, true, "ON"},
        // Internal 256.0: the loop looks at the low 8 bits only, the display at all of them.
        {256.0f / 127.0f, 256.0f, false, "ON"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.normalised);
        HostedSwitch hosted;
        hosted.dispatch(effMainsChanged, 0, 1);
        hosted.record->setParameter(hosted.record, 0, row.normalised);
        EXPECT_EQ(hosted.internal(), row.internal);
        EXPECT_EQ(hosted.record->getParameter(hosted.record, 0), row.normalised);
        std::string display = std::string(row.display.size() + 1, 'x') + kCanaries;
        hosted.dispatch(effGetParamDisplay, 0, 0, display.data());
        EXPECT_EQ(display, row.display + '\0' + kCanaries);

        // Adding to outputs holding 10, then replacing them: each call keeps its own mode.
        float in[4] = {1.0f, 2.0f, 3.0f, 4.0f}, out[4] = {10.0f, 10.0f, 10.0f, 10.0f};
        float* const inputs[2] = {in, in + 2};
        float* const outputs[2] = {out, out + 2};
        const std::vector<float> want =
            row.mixes ? std::vector<float>{2.0f, 3.0f, 2.0f, 3.0f} : std::vector<float>(in, in + 4);
        hosted.run(inputs, outputs, 2, true);
        EXPECT_EQ(std::vector<float>(out, out + 4),
                  (std::vector<float>{want[0] + 10, want[1] + 10, want[2] + 10, want[3] + 10}));
        hosted.run(inputs, outputs, 2, false);
        EXPECT_EQ(std::vector<float>(out, out + 4), want);
    }
}

TEST(SwitchEffectParameter, ConstructionAndProgramChangeReportTheStoredValueOnce)
{
    HostedSwitch hosted;
    expectOneReport(hosted.host.calls(), hosted.record, 0.0f);
    hosted.record->setParameter(hosted.record, 0, 0.5f);
    hosted.effect.storeSwitchValue(0.0f, false);
    hosted.host.clearCalls();
    EXPECT_EQ(hosted.dispatch(effSetProgram, 0, 0), 0);
    expectOneReport(hosted.host.calls(), hosted.record, 0.5f);
    EXPECT_EQ(hosted.internal(), 63.5f);

    hosted.host.clearCalls();
    hosted.dispatch(effSetProgram, 0, 1);
    hosted.dispatch(effSetProgram, 0, -1);
    EXPECT_TRUE(hosted.host.calls().empty());
}

TEST(SwitchEffectParameter, ReportParameterChangeFollowsItsModeAndIgnoresOtherIndices)
{
    struct Row {
        int32_t mode;
        float startInternal;
        float raw;
        float internalAfter;
        bool reported;
    };
    const Row rows[] = {
        {SwitchEffect::kReportRawValue, 0.0f, 1.0f, 1.0f, true},
        {SwitchEffect::kReportNothing, 0.0f, 1.0f, 0.0f, false},
        // The editor writes the internal value first, then reports with mode 3.
        {SwitchEffect::kReportCurrentValue, 1.0f, 0.0f, 1.0f, true},
        {0, 1.0f, 7.0f, 1.0f, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        HostedSwitch hosted;
        hosted.effect.storeSwitchValue(row.startInternal, false);
        hosted.host.clearCalls();
        hosted.effect.reportParameterChange(0, row.raw, row.mode);
        EXPECT_EQ(hosted.internal(), row.internalAfter);
        if (!row.reported) {
            EXPECT_TRUE(hosted.host.calls().empty());
            continue;
        }
        expectOneReport(hosted.host.calls(), hosted.record, row.internalAfter / 127.0f);
        // The reported value is stored in the program too: a program change repeats it.
        hosted.host.clearCalls();
        hosted.dispatch(effSetProgram, 0, 0);
        expectOneReport(hosted.host.calls(), hosted.record, row.internalAfter / 127.0f);
    }

    HostedSwitch hosted;
    hosted.record->setParameter(hosted.record, 1, 1.0f);
    hosted.record->setParameter(hosted.record, -1, 1.0f);
    EXPECT_EQ(hosted.record->getParameter(hosted.record, 1), 0.0f);
    EXPECT_EQ(hosted.internal(), 0.0f);
    hosted.host.clearCalls();
    hosted.effect.reportParameterChange(20, 1.0f, SwitchEffect::kReportRawValue);
    EXPECT_TRUE(hosted.host.calls().empty());
}

TEST(SwitchEffectAudio, TheReferenceLoopPassesThroughOrWritesTheMean)
{
    struct Row {
        bool mean;
        bool accumulate;
        float outLeft;
        float outRight;
    };
    // Left 3, right -1, outputs holding 10 and 20 beforehand.
    const Row rows[] = {
        {false, false, 3.0f, -1.0f},
        {true, false, 1.0f, 1.0f},
        {false, true, 13.0f, 19.0f},
        {true, true, 11.0f, 21.0f},
    };
    for (const Row& row : rows) {
        const float left = 3.0f;
        const float right = -1.0f;
        float outLeft = 10.0f;
        float outRight = 20.0f;
        mixReference({&left, &right, &outLeft, &outRight, 1}, row.mean, row.accumulate);
        EXPECT_EQ(outLeft, row.outLeft) << "mean " << row.mean << " accumulate " << row.accumulate;
        EXPECT_EQ(outRight, row.outRight) << "mean " << row.mean << " accumulate " << row.accumulate;
    }
    // Both inputs of a frame are read before either output is written: crossed arrays swap.
    float shared[2] = {4.0f, 8.0f};
    mixReference({&shared[0], &shared[1], &shared[1], &shared[0], 1}, false, false);
    EXPECT_EQ(shared[0], 8.0f);
    EXPECT_EQ(shared[1], 4.0f);
}

TEST(SwitchEffectAudio, EveryLayoutAndBlockLengthGivesTheFrameByFrameResult)
{
    constexpr int32_t kLongest = 70;
    constexpr int32_t kSpan = kLongest + 8;
    // Offsets of left in, right in, left out and right out within one storage array. Nothing
    // outside the block's frames may change, and no array starts on a vector boundary.
    struct Layout {
        const char* name;
        int32_t offsets[4];
    };
    const Layout layouts[] = {
        {"apart", {1, kSpan + 2, 2 * kSpan + 3, 3 * kSpan + 1}},
        {"in place", {1, kSpan, 1, kSpan}},
        {"crossed", {0, kSpan, kSpan, 0}},
        {"left in place only", {0, kSpan, 0, 2 * kSpan}},
        {"left output one ahead of its input", {1, kSpan, 0, 2 * kSpan}},
        {"left output one behind its input", {0, kSpan, 1, 2 * kSpan}},
        {"outputs shifted across the inputs", {0, kSpan, kSpan + 3, 5}},
        {"one output array", {0, kSpan, 2 * kSpan, 2 * kSpan}},
        {"overlapping outputs", {0, kSpan, 2 * kSpan, 2 * kSpan + 2}},
        {"one input array", {0, 0, kSpan, 2 * kSpan}},
    };
    HostedSwitch hosted;
    hosted.dispatch(effMainsChanged, 0, 1);
    for (const Layout& layout : layouts) {
        for (int mode = 0; mode < 4; ++mode) {
            const bool on = mode & 1;
            const bool accumulate = mode & 2;
            hosted.record->setParameter(hosted.record, 0, on ? 1.0f : 0.0f);
            for (int32_t frames = 0; frames <= kLongest; ++frames) {
                SCOPED_TRACE(std::string(layout.name) + " on " + std::to_string(on) + " accumulate " +
                             std::to_string(accumulate) + " frames " + std::to_string(frames));
                // Distinct, non-trivial sample values so that a wrong index or channel shows.
                std::vector<float> samples(4 * kSpan + 8);
                for (std::size_t i = 0; i < samples.size(); ++i) {
                    samples[i] = static_cast<float>(frames) + static_cast<float>(i % 97) * 0.37f -
                                 static_cast<float>(i % 13) * 1.9f;
                }
                std::vector<float> expected = samples;
                const auto at = [&](std::vector<float>& s, int k) { return s.data() + layout.offsets[k]; };
                float* const in[2] = {at(samples, 0), at(samples, 1)};
                float* const out[2] = {at(samples, 2), at(samples, 3)};
                float* const expectedIn[2] = {at(expected, 0), at(expected, 1)};
                float* const expectedOut[2] = {at(expected, 2), at(expected, 3)};
                hosted.run(in, out, frames, accumulate);
                mixReference({expectedIn[0], expectedIn[1], expectedOut[0], expectedOut[1], frames}, on, accumulate);
                ASSERT_EQ(samples, expected);
            }
        }
    }
}

TEST(SwitchEffectAudio, WritesNothingUnlessRunningOrForEmptyBlocks)
{
    HostedSwitch hosted;
    hosted.record->setParameter(hosted.record, 0, 1.0f);
    float in[8] = {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 7.0f, 8.0f};
    std::vector<float> out(8, 9.0f);
    float* const inputs[2] = {in, in + 4};
    float* const outputs[2] = {out.data(), out.data() + 4};
    const auto replaceAndAdd = [&](int32_t frames, float* const* from, float* const* to) {
        hosted.run(from, to, frames, false);
        hosted.run(from, to, frames, true);
    };
    replaceAndAdd(4, inputs, outputs); // constructed, not yet resumed
    hosted.dispatch(effMainsChanged, 0, 1);
    hosted.dispatch(effMainsChanged, 0, 0);
    replaceAndAdd(4, inputs, outputs); // resumed and suspended again
    EXPECT_EQ(out, std::vector<float>(8, 9.0f));

    // Running, but empty or negative blocks: not even the channel pointers are read.
    for (intptr_t on : {1, 2, -1}) {
        hosted.dispatch(effMainsChanged, 0, on);
        for (int32_t frames : {0, -1, -4096}) {
            replaceAndAdd(frames, nullptr, nullptr);
        }
        hosted.run(inputs, outputs, 1, false);
        EXPECT_EQ(out[0], 3.0f) << "mains value " << on;
        out[0] = out[4] = 9.0f;
    }
    EXPECT_EQ(out, std::vector<float>(8, 9.0f));
}

TEST(SwitchEffectTexts, WriteExactlyTheirBytesOnlyForParameterZeroAndRealBuffers)
{
    struct Row {
        EffectOpcode opcode;
        std::string text;
        intptr_t answer;
    };
    const Row rows[] = {
        {effGetProgramName, "Press me!" + std::string(14, ' '), 0},
        {effGetParamName, "Vela button (On/Off)  ", 0},
        {effGetParamLabel, std::string(12, ' '), 0},
        {effGetParamDisplay, "OFF", 0},
        {effGetEffectName, "Vela", 1},
        {effGetVendorString, "Ozmir v1.0", 1},
        {effGetProductString, "Vela", 1},
    };
    HostedSwitch hosted;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.opcode);
        // Exactly the text's size, then bytes that nothing may write.
        std::string buffer = std::string(row.text.size() + 1, 'x') + kCanaries;
        EXPECT_EQ(hosted.dispatch(row.opcode, 0, 0, buffer.data()), row.answer);
        EXPECT_EQ(buffer, row.text + '\0' + kCanaries);
    }
    // Other parameter indices and null buffers get nothing.
    for (EffectOpcode opcode : {effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        for (int32_t index : {1, 19, -1}) {
            std::string buffer(24, 'x');
            EXPECT_EQ(hosted.dispatch(opcode, index, 0, buffer.data()), 0) << opcode << " index " << index;
            EXPECT_EQ(buffer, std::string(24, 'x')) << opcode << " index " << index;
        }
    }
    for (EffectOpcode opcode :
         {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName, effGetEffectName,
          effGetVendorString, effGetProductString, effGetOutputProperties}) {
        EXPECT_EQ(hosted.dispatch(opcode, 0, 0, nullptr), 0) << opcode;
    }
    EXPECT_EQ(hosted.dispatch(effCanDo, 0, 0, nullptr), -1);
}

TEST(SwitchEffectTexts, ProgramNameKeepsAtMost23Characters)
{
    const std::string longName = "A name far longer than any program name may be";
    for (const std::string& given :
         {std::string("Solo"), std::string(), longName.substr(0, 23), longName.substr(0, 24), longName}) {
        SCOPED_TRACE(given);
        HostedSwitch hosted;
        std::string name = given;
        hosted.dispatch(effSetProgramName, 0, 0, name.data());
        const std::string kept = given.substr(0, 23);
        // Asking twice into the same buffer gives the same plain name both times.
        std::string buffer = std::string(24, 'x') + kCanaries;
        for (int time = 0; time < 2; ++time) {
            hosted.dispatch(effGetProgramName, 0, 0, buffer.data());
            EXPECT_EQ(buffer.substr(0, kept.size() + 1), kept + '\0');
            EXPECT_EQ(buffer.substr(24), kCanaries);
        }
    }
}

TEST(SwitchEffectIdentity, OutputPinsAreLabelledWithSignedNumbers)
{
    struct Row {
        int32_t index;
        const char* label;
    };
    const Row rows[] = {{0, "VELA 1"}, {1, "VELA 2"}, {2, nullptr}, {-1, "VELA 0"}, {1000, nullptr}};
    HostedSwitch hosted;
    ASSERT_EQ(offsetof(VstPinProperties, flags), 64u);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        // The host's record may be larger than the two fields the effect writes.
        std::vector<char> memory(sizeof(VstPinProperties) + 16, kCanary);
        std::vector<char> expected = memory;
        if (row.label) {
            std::memcpy(expected.data(), row.label, std::strlen(row.label) + 1);
            const int32_t flags = kVstPinIsActive | kVstPinIsStereo;
            std::memcpy(expected.data() + offsetof(VstPinProperties, flags), &flags, sizeof flags);
        }
        EXPECT_EQ(hosted.dispatch(effGetOutputProperties, row.index, 0, memory.data()), row.label ? 1 : 0);
        EXPECT_EQ(memory, expected);
    }
}

TEST(SwitchEffectIdentity, CanDoAnswersTwoWordsExactlyAndAsksTheHostNothing)
{
    struct Row {
        const char* word;
        intptr_t answer;
    };
    const Row rows[] = {
        {"plugAsChannelInsert", 1},
        {"plugAsSend", 1},
        {"plugassend", -1},
        {"PlugAsSend", -1},
        {"plugAsSendX", -1},
        {"plugAs", -1},
        {"", -1},
        {"2in2out", -1},
        {"receiveVstEvents", -1},
        {"plugAsChannelInsert ", -1},
    };
    HostedSwitch hosted;
    for (const Row& row : rows) {
        std::string word = row.word;
        EXPECT_EQ(hosted.dispatch(effCanDo, 0, 0, word.data()), row.answer) << '"' << row.word << '"';
    }
    hosted.host.setAnswer(audioMasterCanDo, 1);
    hosted.host.clearCalls();
    char word[] = "sendVstEvents";
    EXPECT_EQ(hosted.effect.hostCanDo(word), 0);
    EXPECT_TRUE(hosted.host.calls().empty());
}

} // namespace

} // namespace vela
