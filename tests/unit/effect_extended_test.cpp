// SPDX-License-Identifier: MIT
// The extended effect base as a host sees it: operations 25 to 58 through the record's
// dispatcher, and the host-call wrappers through a recording host callback.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "frame/effect_extended.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"

namespace vela {

namespace {

// A value that needs all 64 bits on 64-bit targets, so that any narrowing shows.
constexpr intptr_t kWideValue = static_cast<intptr_t>(sizeof(intptr_t) > 4 ? 0x123456789LL : 0x12345678LL);

void* widePointer()
{
    return reinterpret_cast<void*>(kWideValue);
}

intptr_t dispatch(EffectCore& effect, int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                  float opt = 0.0f)
{
    return effect.getAeffect()->dispatcher(effect.getAeffect(), opcode, index, value, ptr, opt);
}

// Defaults only: what every effect answers until it overrides something.
class PlainEffect : public EffectExtended {
public:
    explicit PlainEffect(audioMasterCallback host = nullptr) : EffectExtended(host, 1, 1) {}
    void process(float**, float**, int32_t) override {}
};

// Notes the operations it receives with their arguments, pointers apart; the bool operations answer `answer`.
class ProbeEffect : public PlainEffect {
public:
    using PlainEffect::PlainEffect;

    void open() override { note("open"); }
    void setSampleRate(float rate) override
    {
        note("setSampleRate", rate);
        PlainEffect::setSampleRate(rate);
    }
    void setBlockSize(int32_t size) override
    {
        note("setBlockSize", size);
        PlainEffect::setBlockSize(size);
    }
    int32_t setChunk(void* data, int32_t n, bool preset) override
    {
        note("setChunk", n, preset, data);
        return 17;
    }
    bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override
    {
        return note("getProgramNameIndexed", category, index, text);
    }
    void connectInput(int32_t index, bool on) override { note("connectInput", index, on); }
    void connectOutput(int32_t index, bool on) override { note("connectOutput", index, on); }
    bool offlineNotify(void* files, int32_t n, bool start) override { return note("offlineNotify", n, start, files); }
    bool setSpeakerArrangement(void* in, void* out) override { return note("setSpeakerArrangement", in, out); }
    // Echoes value, so a narrowed answer or argument shows.
    intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) override
    {
        note("vendorSpecific", index, opt, ptr);
        return value;
    }
    bool keysRequired() override { return note("keysRequired"); }
    float* getDestinationBuffer() override { return static_cast<float*>(widePointer()); }
    void* getIcon() override { return widePointer(); }

    template <typename... Args>
    bool note(const char* name, const Args&... args)
    {
        std::ostringstream text;
        text << name;
        [[maybe_unused]] auto add = [&](const auto& arg) {
            if constexpr (std::is_pointer_v<std::decay_t<decltype(arg)>>) {
                pointers.push_back(arg);
            } else {
                text << ' ' << arg;
            }
        };
        (add(args), ...);
        calls.push_back(text.str());
        return answer;
    }

    bool answer = false;
    std::vector<std::string> calls;
    std::vector<const void*> pointers;
};

TEST(EffectExtendedDispatcher, ArgumentsReachTheOperationInTheirPlacesAndAnswersAreConverted)
{
    char buffer[8] = "buffer";
    struct Row {
        int32_t opcode, index;
        intptr_t value;
        float opt;
        const char* call;
        std::vector<const void*> pointers;
        intptr_t whenFalse, whenTrue;
    };
    const Row rows[] = {
        // The category travels in value and the program index in index.
        {effGetProgramNameIndexed, 3, 7, 0.0f, "getProgramNameIndexed 7 3", {buffer}, 0, 1},
        {effConnectInput, 2, 2, 0.0f, "connectInput 2 1", {}, 1, 1},
        {effConnectInput, 2, -1, 0.0f, "connectInput 2 1", {}, 1, 1},
        {effConnectInput, 2, 0, 0.0f, "connectInput 2 0", {}, 1, 1},
        {effConnectOutput, 1, 2, 0.0f, "connectOutput 1 1", {}, 1, 1},
        {effConnectOutput, 1, 0, 0.0f, "connectOutput 1 0", {}, 1, 1},
        {effOfflineNotify, 5, 4, 0.0f, "offlineNotify 4 1", {buffer}, 0, 1},
        {effOfflineNotify, -1, 4, 0.0f, "offlineNotify 4 1", {buffer}, 0, 1},
        {effOfflineNotify, 0, 4, 0.0f, "offlineNotify 4 0", {buffer}, 0, 1},
        // The input arrangement is a pointer carried in value.
        {effSetSpeakerArrangement, 0, kWideValue, 0.0f, "setSpeakerArrangement", {widePointer(), buffer}, 0, 1},
        {effVendorSpecific, 11, kWideValue, 0.5f, "vendorSpecific 11 0.5", {buffer}, kWideValue, kWideValue},
        {effKeysRequired, 0, 0, 0.0f, "keysRequired", {}, 1, 0},
        // Pointer answers keep every bit.
        {effGetDestinationBuffer, 0, 0, 0.0f, nullptr, {}, kWideValue, kWideValue},
        {effGetIcon, 0, 0, 0.0f, nullptr, {}, kWideValue, kWideValue},
        // Stored directly (see RateAndBlockSizeAreReadAfterTheHostAnswered), not through the separate setters.
        {effSetBlockSizeAndSampleRate, 3, 512, 48000.0f, nullptr, {}, 1, 1},
    };
    for (const Row& row : rows) {
        for (bool answer : {false, true}) {
            SCOPED_TRACE("opcode " + std::to_string(row.opcode) + ", answer " + std::to_string(answer));
            ProbeEffect effect;
            effect.answer = answer;
            EXPECT_EQ(dispatch(effect, row.opcode, row.index, row.value, buffer, row.opt),
                      answer ? row.whenTrue : row.whenFalse);
            EXPECT_EQ(effect.calls, row.call ? std::vector<std::string>{row.call} : std::vector<std::string>{});
            EXPECT_EQ(effect.pointers, row.pointers);
        }
    }
}

TEST(EffectExtendedDispatcher, DefaultAnswers)
{
    // Every operation from 25 to 58 answers 0 by default and writes no text, except these answers.
    const std::map<int32_t, intptr_t> nonZero = {
        {effCanBeAutomated, 1}, {effGetNumProgramCategories, 1},   {effConnectInput, 1},
        {effConnectOutput, 1},  {effSetBlockSizeAndSampleRate, 1}, {effKeysRequired, 1},
        {effGetVstVersion, 2},
    };
    for (int32_t opcode = effProcessEvents; opcode <= effGetVstVersion; ++opcode) {
        PlainEffect effect;
        char text[8] = "keep";
        const auto found = nonZero.find(opcode);
        EXPECT_EQ(dispatch(effect, opcode, 1, 1, text, 1.0f), found == nonZero.end() ? 0 : found->second)
            << "opcode " << opcode;
        EXPECT_STREQ(text, "keep") << "opcode " << opcode;
    }
}

TEST(EffectExtendedDispatcher, OtherNumbersReachTheCoreDispatcherWithAllArguments)
{
    char buffer[8] = "buffer";
    struct Row {
        int32_t opcode, index;
        intptr_t value;
        float opt;
        intptr_t answer;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {effOpen, 0, 0, 0.0f, 0, {"open"}},
        {effSetSampleRate, 0, 0, 22050.0f, 0, {"setSampleRate 22050"}},
        {effSetChunk, 1, 4, 0.0f, 17, {"setChunk 4 1"}},
        {effSetChunk, 0, 4, 0.0f, 17, {"setChunk 4 0"}},
        {59, 1, 1, 1.0f, 0, {}},
        {1000, 1, 1, 1.0f, 0, {}},
        {-1, 1, 1, 1.0f, 0, {}},
        {INT32_MIN, 1, 1, 1.0f, 0, {}},
        {INT32_MAX, 1, 1, 1.0f, 0, {}},
    };
    for (const Row& row : rows) {
        ProbeEffect effect;
        EXPECT_EQ(dispatch(effect, row.opcode, row.index, row.value, buffer, row.opt), row.answer)
            << "opcode " << row.opcode;
        EXPECT_EQ(effect.calls, row.calls) << "opcode " << row.opcode;
        EXPECT_EQ(effect.pointers,
                  row.opcode == effSetChunk ? std::vector<const void*>{buffer} : std::vector<const void*>{});
        EXPECT_STREQ(buffer, "buffer");
    }
}

TEST(EffectExtendedFlags, EachSetterTouchesOneBitAndTheCategoryFollowsTheSynthBit)
{
    const struct {
        void (EffectExtended::*setter)(bool);
        int32_t bit;
    } rows[] = {
        {&EffectExtended::setIsSynth, 256},
        {&EffectExtended::setNoSoundInStop, 512},
        {&EffectExtended::setIsAsync, 1024},
        {&EffectExtended::setHasBuffer, 2048},
    };
    for (const auto& row : rows) {
        for (int32_t before : {0, ~0}) {
            PlainEffect effect;
            effect.getAeffect()->flags = before;
            for (bool on : {true, false}) {
                (effect.*row.setter)(on);
                const int32_t flags = on ? before | row.bit : before & ~row.bit;
                EXPECT_EQ(effect.getAeffect()->flags, flags);
                EXPECT_EQ(dispatch(effect, effGetPlugCategory), (flags & effFlagsIsSynth) != 0 ? 2 : 0) << flags;
            }
        }
    }
}

// Records the host passes by address; the wrappers only pass them on.
char taskRecord[8], audioFiles[8], windowRecord[8], outputArrangement[8], hostText[8];

// An effect created by the host's entry call, so that the recording host knows its record.
struct HostedProbe {
    static AEffect* create(audioMasterCallback host) { return (new ProbeEffect(host))->getAeffect(); }

    RecordingHost host;
    std::unique_ptr<ProbeEffect> effect{
        static_cast<ProbeEffect*>(static_cast<EffectCore*>(host.callEntry(&create)->object))};
};

enum Conversion { Same, Pointer, Truth, ExactlyOne, RateField, BlockField };

template <typename T>
intptr_t widen(T result)
{
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<intptr_t>(result);
    } else {
        return static_cast<intptr_t>(result);
    }
}

#define WRAPPER(call) [](ProbeEffect& e) { return widen(e.call); }

// A wrapper, the host operation it calls and how it converts the answer, then the arguments it sends.
struct HostRow {
    intptr_t (*invoke)(ProbeEffect& effect);
    HostOpcode opcode;
    Conversion conversion;
    int32_t index = 0;
    intptr_t value = 0;
    const void* ptr = nullptr;
    float opt = 0.0f;
};

const HostRow hostRows[] = {
    {WRAPPER(hostWantMidi(3)), audioMasterWantMidi, Same, 0, 3},
    {WRAPPER(hostGetTime(15)), audioMasterGetTime, Pointer, 0, 15},
    {WRAPPER(hostProcessEvents(taskRecord)), audioMasterProcessEvents, ExactlyOne, 0, 0, taskRecord},
    {WRAPPER(hostTempoAt(4410)), audioMasterTempoAt, Same, 0, 4410},
    {WRAPPER(hostGetNumAutomatableParameters()), audioMasterGetNumAutomatableParameters, Same},
    {WRAPPER(hostGetParameterQuantization()), audioMasterGetParameterQuantization, Same},
    {WRAPPER(hostIOChanged()), audioMasterIOChanged, Truth},
    {WRAPPER(hostNeedIdle()), audioMasterNeedIdle, Truth},
    {WRAPPER(hostSizeWindow(256, 96)), audioMasterSizeWindow, Truth, 256, 96},
    {WRAPPER(hostGetSampleRate()), audioMasterGetSampleRate, RateField},
    {WRAPPER(hostGetBlockSize()), audioMasterGetBlockSize, BlockField},
    {WRAPPER(hostGetInputLatency()), audioMasterGetInputLatency, Same},
    {WRAPPER(hostGetOutputLatency()), audioMasterGetOutputLatency, Same},
    // The pin is not sent.
    {WRAPPER(hostGetPreviousPlug(2)), audioMasterGetPreviousPlug, Pointer},
    {WRAPPER(hostGetNextPlug(3)), audioMasterGetNextPlug, Pointer},
    {WRAPPER(hostWillReplaceOrAccumulate()), audioMasterWillReplaceOrAccumulate, Same},
    {WRAPPER(hostGetCurrentProcessLevel()), audioMasterGetCurrentProcessLevel, Same},
    {WRAPPER(hostGetAutomationState()), audioMasterGetAutomationState, Same},
    // The new file count travels in index and the file count in value.
    {WRAPPER(hostOfflineStart(audioFiles, 3, 5)), audioMasterOfflineStart, Truth, 5, 3, audioFiles},
    {WRAPPER(hostOfflineRead(taskRecord, 9, true)), audioMasterOfflineRead, Truth, 1, 9, taskRecord},
    {WRAPPER(hostOfflineRead(taskRecord, 9, false)), audioMasterOfflineRead, Truth, 0, 9, taskRecord},
    {WRAPPER(hostOfflineWrite(taskRecord, 9)), audioMasterOfflineWrite, Truth, 0, 9, taskRecord},
    {WRAPPER(hostOfflineGetCurrentPass()), audioMasterOfflineGetCurrentPass, Truth},
    {WRAPPER(hostOfflineGetCurrentMetaPass()), audioMasterOfflineGetCurrentMetaPass, Truth},
    {WRAPPER(hostSetOutputSampleRate(48000.0f)), audioMasterSetOutputSampleRate, Same, 0, 0, nullptr, 48000.0f},
    // The input arrangement is a pointer carried in value.
    {WRAPPER(hostGetSpeakerArrangement(widePointer(), outputArrangement)), audioMasterGetSpeakerArrangement, Truth, 0,
     kWideValue, outputArrangement},
    {WRAPPER(hostGetVendorString(hostText)), audioMasterGetVendorString, Truth, 0, 0, hostText},
    {WRAPPER(hostGetProductString(hostText)), audioMasterGetProductString, Truth, 0, 0, hostText},
    {WRAPPER(hostGetVendorVersion()), audioMasterGetVendorVersion, Same},
    {WRAPPER(hostVendorSpecific(11, kWideValue, taskRecord, 0.25f)), audioMasterVendorSpecific, Pointer, 11, kWideValue,
     taskRecord, 0.25f},
    {WRAPPER(hostCanDo(hostText)), audioMasterCanDo, Truth, 0, 0, hostText},
    {WRAPPER(hostGetLanguage()), audioMasterGetLanguage, Same},
    {WRAPPER(hostOpenWindow(windowRecord)), audioMasterOpenWindow, Pointer, 0, 0, windowRecord},
    {WRAPPER(hostCloseWindow(windowRecord)), audioMasterCloseWindow, Truth, 0, 0, windowRecord},
    {WRAPPER(hostGetDirectory()), audioMasterGetDirectory, Pointer},
    {WRAPPER(hostUpdateDisplay()), audioMasterUpdateDisplay, Truth},
};
#undef WRAPPER

intptr_t expectedResult(Conversion conversion, intptr_t answer)
{
    switch (conversion) {
    case Truth:
        return answer != 0 ? 1 : 0;
    case ExactlyOne:
        return answer == 1 ? 1 : 0;
    case RateField:
        return 44100;
    case BlockField:
        return 1024;
    default:
        return answer;
    }
}

TEST(EffectExtendedHostCalls, EachWrapperSendsItsArgumentsAndConvertsTheAnswer)
{
    for (const HostRow& row : hostRows) {
        std::vector<intptr_t> answers = {0, 1, 2, -1, 123456};
        if (row.conversion == Pointer) {
            answers.push_back(kWideValue);
        }
        for (intptr_t answer : answers) {
            SCOPED_TRACE("host opcode " + std::to_string(row.opcode) + ", host answers " + std::to_string(answer));
            HostedProbe hosted;
            hosted.host.setAnswer(row.opcode, answer);
            EXPECT_EQ(row.invoke(*hosted.effect), expectedResult(row.conversion, answer));
            const std::vector<HostCall> calls = hosted.host.calls();
            ASSERT_EQ(calls.size(), 1u);
            const HostCall& c = calls[0];
            EXPECT_EQ(std::tuple(c.effect, c.opcode, c.index, c.value, c.ptr, c.opt),
                      std::tuple(hosted.effect->getAeffect(), row.opcode, row.index, row.value, row.ptr, row.opt));
        }
    }
}

TEST(EffectExtendedHostCalls, WithoutCallbackEachWrapperAnswersItsDefault)
{
    for (const HostRow& row : hostRows) {
        ProbeEffect effect;
        EXPECT_EQ(row.invoke(effect), expectedResult(row.conversion, 0)) << "host opcode " << row.opcode;
    }
}

TEST(EffectExtendedHostCalls, RateAndBlockSizeAreReadAfterTheHostAnswered)
{
    HostedProbe hosted;
    hosted.host.setAnswer(audioMasterGetSampleRate, [](const HostCall& call) -> intptr_t {
        call.effect->dispatcher(call.effect, effSetSampleRate, 0, 0, nullptr, 88200.0f);
        return 0;
    });
    hosted.host.setAnswer(audioMasterGetBlockSize, [](const HostCall& call) -> intptr_t {
        call.effect->dispatcher(call.effect, effSetBlockSizeAndSampleRate, 0, 333, nullptr, 32000.0f);
        return 4096;
    });
    EXPECT_EQ(hosted.effect->hostGetSampleRate(), 88200.0f);
    // Operation 43 stores value as the block size and opt as the rate.
    EXPECT_EQ(hosted.effect->hostGetBlockSize(), 333);
    EXPECT_EQ(hosted.effect->getSampleRate(), 32000.0f);
}

} // namespace

} // namespace vela
