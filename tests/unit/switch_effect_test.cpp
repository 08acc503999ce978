// The switch effect as a host sees it: created through an entry with a recording host and
// driven through the record's function pointers.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "effect/switch_effect.h"
#include "frame/opcodes.h"
#include "frame/vst_pin_properties.h"
#include "host/recording_host.h"

namespace {

constexpr unsigned char kCanary = 0xA5;

class HostedSwitch {
public:
    HostedSwitch() : record(host.callEntry(create)), effect(*static_cast<SwitchEffect*>(static_cast<EffectCore*>(record->object))) {}
    ~HostedSwitch()
    {
        record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
        host.forget(record);
    }

    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return record->dispatcher(record, opcode, index, value, ptr, opt);
    }
    void resume() { dispatch(effMainsChanged, 0, 1); }
    void setParameter(float value) { record->setParameter(record, 0, value); }
    float getParameter() { return record->getParameter(record, 0); }
    float internalValue() const { return effect.paramValue[0].load(std::memory_order_relaxed); }

    RecordingHost host;
    AEffect* record;
    SwitchEffect& effect;

private:
    static AEffect* create(audioMasterCallback callback) { return (new SwitchEffect(callback))->getAeffect(); }
};

void expectAutomate(const HostCall& call, AEffect* record, float value)
{
    EXPECT_EQ(call.effect, record);
    EXPECT_EQ(call.opcode, audioMasterAutomate);
    EXPECT_EQ(call.index, 0);
    EXPECT_EQ(call.value, 0);
    EXPECT_EQ(call.ptr, nullptr);
    EXPECT_EQ(call.opt, value);
}

// A host buffer of `size` bytes followed by canary bytes that nothing may write.
struct TextBuffer {
    explicit TextBuffer(std::size_t size, char fill = 0) : bytes(size + 8, static_cast<char>(kCanary)), size(size)
    {
        std::memset(bytes.data(), fill, size);
    }
    char* data() { return bytes.data(); }
    std::string text() const { return std::string(bytes.data()); }
    bool canaryIntact() const
    {
        for (std::size_t i = size; i < bytes.size(); ++i) {
            if (static_cast<unsigned char>(bytes[i]) != kCanary) {
                return false;
            }
        }
        return true;
    }
    std::vector<char> bytes;
    std::size_t size;
};

// One block's four arrays as a host hands them over.
struct Block {
    float* inputs[2];
    float* outputs[2];
};

// Mixes sample by sample in the order the effect promises: both inputs of a frame are read
// before either of its outputs is written.
void referenceMix(const Block& block, int32_t frames, bool on, bool accumulate)
{
    for (int32_t i = 0; i < frames; ++i) {
        float a = block.inputs[0][i];
        float b = block.inputs[1][i];
        if (on) {
            a = b = (a + b) * 0.5f;
        }
        if (accumulate) {
            block.outputs[0][i] += a;
            block.outputs[1][i] += b;
        } else {
            block.outputs[0][i] = a;
            block.outputs[1][i] = b;
        }
    }
}

// Distinct, non-trivial sample values so that a wrong index or channel shows.
void fillSamples(std::vector<float>& samples, float seed)
{
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = seed + static_cast<float>(i % 97) * 0.37f - static_cast<float>(i % 13) * 1.9f;
    }
}

struct Mode {
    bool on;
    bool accumulate;
};
constexpr Mode kModes[] = {{false, false}, {false, true}, {true, false}, {true, true}};

void runEffect(HostedSwitch& hosted, const Block& block, int32_t frames, bool accumulate)
{
    float** inputs = const_cast<float**>(block.inputs);
    float** outputs = const_cast<float**>(block.outputs);
    if (accumulate) {
        hosted.record->process(hosted.record, inputs, outputs, frames);
    } else {
        hosted.record->processReplacing(hosted.record, inputs, outputs, frames);
    }
}

TEST(SwitchEffectConstruction, ReportsParameterZeroOnceWithItsRecord)
{
    HostedSwitch hosted;
    const auto calls = hosted.host.calls();
    ASSERT_EQ(calls.size(), 1u);
    expectAutomate(calls[0], hosted.record, 0.0f);
}

TEST(SwitchEffectConstruction, RecordShowsTwoInputsTwoOutputsFlagsAndIdentifier)
{
    HostedSwitch hosted;
    EXPECT_EQ(hosted.record->numInputs, 2);
    EXPECT_EQ(hosted.record->numOutputs, 2);
    EXPECT_EQ(hosted.record->flags, effFlagsCanSingleChannel | effFlagsCanReplacing);
    EXPECT_EQ(hosted.record->uniqueID, fourCharCode("VeLA"));
    EXPECT_EQ(hosted.record->numPrograms, 1);
    EXPECT_EQ(hosted.record->numParams, 1);
    EXPECT_EQ(hosted.getParameter(), 0.0f);
    EXPECT_EQ(hosted.internalValue(), 0.0f);
    EXPECT_EQ(hosted.dispatch(effGetProgram), 0);
}

TEST(SwitchEffectParameter, NormalisedValueSetsInternalValueDisplayAndSwitch)
{
    const float oneStep = 1.0f / 127.0f;
    struct Row {
        float normalised;
        float internal;
        bool mixes;
        const char* display;
    };
    const Row rows[] = {
        {0.0f, 0.0f, false, "OFF"},
        {1.0f, 127.0f, true, "ON"},
        {0.5f, 63.5f, true, "ON"},
        {0.005f, 127.0f * 0.005f, false, "OFF"},
        {oneStep, 1.0f, true, "ON"},
        {std::nextafter(oneStep, 0.0f), 127.0f * std::nextafter(oneStep, 0.0f), false, "OFF"},
        {-0.5f, -63.5f, true, "ON"},
        // Internal 256.0: the loop looks at the low 8 bits only, the display at all of them.
        {256.0f / 127.0f, 256.0f, false, "ON"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.normalised);
        HostedSwitch hosted;
        hosted.resume();
        hosted.setParameter(row.normalised);
        EXPECT_EQ(hosted.internalValue(), row.internal);
        EXPECT_EQ(hosted.getParameter(), row.normalised);

        TextBuffer display(4);
        hosted.dispatch(effGetParamDisplay, 0, 0, display.data());
        EXPECT_EQ(display.text(), row.display);

        float left[2] = {1.0f, 2.0f};
        float right[2] = {3.0f, 4.0f};
        float outLeft[2] = {};
        float outRight[2] = {};
        const Block block{{left, right}, {outLeft, outRight}};
        runEffect(hosted, block, 2, false);
        const std::vector<float> expectedLeft = row.mixes ? std::vector<float>{2.0f, 3.0f} : std::vector<float>{1.0f, 2.0f};
        const std::vector<float> expectedRight = row.mixes ? std::vector<float>{2.0f, 3.0f} : std::vector<float>{3.0f, 4.0f};
        EXPECT_EQ(std::vector<float>(outLeft, outLeft + 2), expectedLeft);
        EXPECT_EQ(std::vector<float>(outRight, outRight + 2), expectedRight);
    }
}

TEST(SwitchEffectParameter, ProgramChangeReappliesAndReportsTheStoredValue)
{
    HostedSwitch hosted;
    hosted.setParameter(0.5f);
    hosted.host.clearCalls();
    EXPECT_EQ(hosted.dispatch(effSetProgram, 0, 0), 0);
    auto calls = hosted.host.calls();
    ASSERT_EQ(calls.size(), 1u);
    expectAutomate(calls[0], hosted.record, 0.5f);
    EXPECT_EQ(hosted.internalValue(), 63.5f);

    hosted.host.clearCalls();
    hosted.dispatch(effSetProgram, 0, 1);
    hosted.dispatch(effSetProgram, 0, -1);
    EXPECT_TRUE(hosted.host.calls().empty());
}

TEST(SwitchEffectParameter, ReportParameterChangeFollowsItsMode)
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
        hosted.effect.paramValue[0].store(row.startInternal, std::memory_order_relaxed);
        hosted.host.clearCalls();
        hosted.effect.reportParameterChange(0, row.raw, row.mode);
        EXPECT_EQ(hosted.internalValue(), row.internalAfter);
        const auto calls = hosted.host.calls();
        if (row.reported) {
            ASSERT_EQ(calls.size(), 1u);
            expectAutomate(calls[0], hosted.record, row.internalAfter / 127.0f);
            // The reported value is stored in the program too: a program change repeats it.
            hosted.host.clearCalls();
            hosted.dispatch(effSetProgram, 0, 0);
            ASSERT_EQ(hosted.host.calls().size(), 1u);
            EXPECT_EQ(hosted.host.calls()[0].opt, row.internalAfter / 127.0f);
        } else {
            EXPECT_TRUE(calls.empty());
        }
    }
}

TEST(SwitchEffectParameter, IndicesBeyondTheParameterCountAreIgnored)
{
    HostedSwitch hosted;
    hosted.record->setParameter(hosted.record, 1, 1.0f);
    hosted.record->setParameter(hosted.record, -1, 1.0f);
    EXPECT_EQ(hosted.record->getParameter(hosted.record, 1), 0.0f);
    EXPECT_EQ(hosted.internalValue(), 0.0f);
    hosted.host.clearCalls();
    hosted.effect.reportParameterChange(20, 1.0f, SwitchEffect::kReportRawValue);
    EXPECT_TRUE(hosted.host.calls().empty());
}

TEST(SwitchEffectAudio, MixesOrPassesThroughAndAddsOrReplaces)
{
    HostedSwitch hosted;
    hosted.resume();
    float left[2] = {1.0f, 2.0f};
    float right[2] = {3.0f, 4.0f};
    float outLeft[2] = {10.0f, 10.0f};
    float outRight[2] = {10.0f, 10.0f};
    const Block block{{left, right}, {outLeft, outRight}};

    runEffect(hosted, block, 2, true);
    EXPECT_EQ(std::vector<float>(outLeft, outLeft + 2), (std::vector<float>{11.0f, 12.0f}));
    EXPECT_EQ(std::vector<float>(outRight, outRight + 2), (std::vector<float>{13.0f, 14.0f}));

    hosted.setParameter(1.0f);
    outLeft[0] = outLeft[1] = outRight[0] = outRight[1] = 10.0f;
    runEffect(hosted, block, 2, true);
    EXPECT_EQ(std::vector<float>(outLeft, outLeft + 2), (std::vector<float>{12.0f, 13.0f}));
    EXPECT_EQ(std::vector<float>(outRight, outRight + 2), (std::vector<float>{12.0f, 13.0f}));

    // Each call keeps its own mode: replacing after adding overwrites.
    runEffect(hosted, block, 2, false);
    EXPECT_EQ(std::vector<float>(outLeft, outLeft + 2), (std::vector<float>{2.0f, 3.0f}));
    EXPECT_EQ(std::vector<float>(outRight, outRight + 2), (std::vector<float>{2.0f, 3.0f}));
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
    hosted.resume();
    for (const Layout& layout : layouts) {
        for (const Mode& mode : kModes) {
            hosted.setParameter(mode.on ? 1.0f : 0.0f);
            for (int32_t frames = 0; frames <= kLongest; ++frames) {
                SCOPED_TRACE(std::string(layout.name) + " on " + std::to_string(mode.on) + " accumulate " +
                             std::to_string(mode.accumulate) + " frames " + std::to_string(frames));
                std::vector<float> samples(4 * kSpan + 8);
                fillSamples(samples, static_cast<float>(frames));
                std::vector<float> expected = samples;
                const auto blockIn = [&](std::vector<float>& storage) {
                    float* base = storage.data();
                    return Block{{base + layout.offsets[0], base + layout.offsets[1]},
                                 {base + layout.offsets[2], base + layout.offsets[3]}};
                };
                runEffect(hosted, blockIn(samples), frames, mode.accumulate);
                referenceMix(blockIn(expected), frames, mode.on, mode.accumulate);
                ASSERT_EQ(samples, expected);
            }
        }
    }
}

TEST(SwitchEffectAudio, WritesNothingUnlessRunningOrForEmptyBlocks)
{
    HostedSwitch hosted;
    hosted.setParameter(1.0f);
    float left[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    float right[4] = {5.0f, 6.0f, 7.0f, 8.0f};
    float outLeft[4] = {9.0f, 9.0f, 9.0f, 9.0f};
    float outRight[4] = {9.0f, 9.0f, 9.0f, 9.0f};
    const Block block{{left, right}, {outLeft, outRight}};
    const auto untouched = [&] {
        for (int i = 0; i < 4; ++i) {
            if (outLeft[i] != 9.0f || outRight[i] != 9.0f) {
                return false;
            }
        }
        return true;
    };

    // Constructed, not yet resumed.
    runEffect(hosted, block, 4, false);
    runEffect(hosted, block, 4, true);
    EXPECT_TRUE(untouched());

    // Resumed and suspended again.
    hosted.resume();
    hosted.dispatch(effMainsChanged, 0, 0);
    runEffect(hosted, block, 4, false);
    runEffect(hosted, block, 4, true);
    EXPECT_TRUE(untouched());

    // Running, but empty or negative blocks: not even the channel pointers are read.
    for (intptr_t on : {1, 2, -1}) {
        hosted.dispatch(effMainsChanged, 0, on);
        for (int32_t frames : {0, -1, -4096}) {
            hosted.record->processReplacing(hosted.record, nullptr, nullptr, frames);
            hosted.record->process(hosted.record, nullptr, nullptr, frames);
        }
        runEffect(hosted, block, 1, false);
        EXPECT_EQ(outLeft[0], 3.0f);
        outLeft[0] = outRight[0] = 9.0f;
    }
    EXPECT_TRUE(untouched());
}

TEST(SwitchEffectTexts, WriteExactlyTheirBytes)
{
    struct Row {
        const char* name;
        EffectOpcode opcode;
        int32_t index;
        std::size_t bufferSize;
        std::string expected;
        intptr_t answer;
    };
    const Row rows[] = {
        {"program name", effGetProgramName, 0, 24, "Press me!" + std::string(14, ' '), 0},
        {"parameter name", effGetParamName, 0, 23, "Vela button (On/Off)  ", 0},
        {"parameter label", effGetParamLabel, 0, 13, std::string(12, ' '), 0},
        {"parameter display", effGetParamDisplay, 0, 4, "OFF", 0},
        {"effect name", effGetEffectName, 0, 5, "Vela", 1},
        {"vendor", effGetVendorString, 0, 11, "Ozmir v1.0", 1},
        {"product", effGetProductString, 0, 5, "Vela", 1},
    };
    HostedSwitch hosted;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(row.expected.size() + 1, row.bufferSize);
        TextBuffer buffer(row.bufferSize, 'x');
        EXPECT_EQ(hosted.dispatch(row.opcode, row.index, 0, buffer.data()), row.answer);
        EXPECT_EQ(std::string(buffer.data(), row.bufferSize), row.expected + '\0');
        EXPECT_TRUE(buffer.canaryIntact());
    }
}

TEST(SwitchEffectTexts, OtherParameterIndicesAndNullBuffersGetNothing)
{
    HostedSwitch hosted;
    for (EffectOpcode opcode : {effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        for (int32_t index : {1, 19, -1}) {
            SCOPED_TRACE(std::to_string(opcode) + " index " + std::to_string(index));
            TextBuffer buffer(24, 'x');
            EXPECT_EQ(hosted.dispatch(opcode, index, 0, buffer.data()), 0);
            EXPECT_EQ(std::string(buffer.data(), 24), std::string(24, 'x'));
        }
    }
    for (EffectOpcode opcode : {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay,
                                effGetParamName, effGetEffectName, effGetVendorString, effGetProductString,
                                effGetOutputProperties}) {
        SCOPED_TRACE(opcode);
        EXPECT_EQ(hosted.dispatch(opcode, 0, 0, nullptr), 0);
    }
    EXPECT_EQ(hosted.dispatch(effCanDo, 0, 0, nullptr), -1);
}

TEST(SwitchEffectTexts, ProgramNameKeepsAtMost23Characters)
{
    struct Row {
        std::string given;
        std::string kept;
    };
    const std::string longName = "A name far longer than any program name may be";
    const Row rows[] = {
        {"Solo", "Solo"},
        {"", ""},
        {longName.substr(0, 23), longName.substr(0, 23)},
        {longName.substr(0, 24), longName.substr(0, 23)},
        {longName, longName.substr(0, 23)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.given);
        HostedSwitch hosted;
        std::string given = row.given;
        hosted.dispatch(effSetProgramName, 0, 0, given.data());
        // Asking twice into the same buffer gives the same plain name both times.
        TextBuffer buffer(24);
        for (int time = 0; time < 2; ++time) {
            hosted.dispatch(effGetProgramName, 0, 0, buffer.data());
            EXPECT_EQ(buffer.text(), row.kept);
            EXPECT_TRUE(buffer.canaryIntact());
        }
    }
}

TEST(SwitchEffectIdentity, OutputPinsAreLabelledWithSignedNumbers)
{
    struct Row {
        int32_t index;
        intptr_t answer;
        const char* label;
    };
    const Row rows[] = {{0, 1, "VELA 1"}, {1, 1, "VELA 2"}, {2, 0, nullptr}, {-1, 1, "VELA 0"}, {1000, 0, nullptr}};
    HostedSwitch hosted;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        // The host's record may be larger than the two fields the effect writes.
        std::vector<unsigned char> memory(sizeof(VstPinProperties) + 16, kCanary);
        std::vector<unsigned char> expected = memory;
        if (row.label) {
            std::memcpy(expected.data(), row.label, std::strlen(row.label) + 1);
            const int32_t flags = kVstPinIsActive | kVstPinIsStereo;
            std::memcpy(expected.data() + offsetof(VstPinProperties, flags), &flags, sizeof flags);
        }
        EXPECT_EQ(hosted.dispatch(effGetOutputProperties, row.index, 0, memory.data()), row.answer);
        EXPECT_EQ(memory, expected);
    }
    EXPECT_EQ(offsetof(VstPinProperties, flags), 64u);
}

TEST(SwitchEffectIdentity, CanDoAnswersTwoWordsExactly)
{
    struct Row {
        const char* word;
        intptr_t answer;
    };
    const Row rows[] = {
        {"plugAsChannelInsert", 1}, {"plugAsSend", 1},          {"plugassend", -1}, {"PlugAsSend", -1},
        {"plugAsSendX", -1},        {"plugAs", -1},             {"", -1},           {"2in2out", -1},
        {"receiveVstEvents", -1},   {"plugAsChannelInsert ", -1},
    };
    HostedSwitch hosted;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.word);
        std::string word = row.word;
        EXPECT_EQ(hosted.dispatch(effCanDo, 0, 0, word.data()), row.answer);
    }
}

TEST(SwitchEffectIdentity, HostCanDoAnswersNoWithoutAskingTheHost)
{
    HostedSwitch hosted;
    hosted.host.setAnswer(audioMasterCanDo, 1);
    hosted.host.clearCalls();
    char word[] = "sendVstEvents";
    EXPECT_EQ(hosted.effect.hostCanDo(word), 0);
    EXPECT_TRUE(hosted.host.calls().empty());
}

TEST(SwitchEffectIdentity, HostProcessEventsIsTrueOnlyForAnAnswerOfOne)
{
    struct Row {
        intptr_t answer;
        bool result;
    };
    for (const Row& row : {Row{1, true}, Row{2, false}, Row{0, false}, Row{-1, false}}) {
        SCOPED_TRACE(row.answer);
        HostedSwitch hosted;
        hosted.host.setAnswer(audioMasterProcessEvents, row.answer);
        hosted.host.clearCalls();
        int events = 0;
        EXPECT_EQ(hosted.effect.hostProcessEvents(&events), row.result);
        const auto calls = hosted.host.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].opcode, audioMasterProcessEvents);
        EXPECT_EQ(calls[0].ptr, &events);
    }
}

} // namespace
