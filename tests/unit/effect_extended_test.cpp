// The extended effect base as a host sees it: operations 25 to 58 through the record's
// dispatcher, and the host-call wrappers through a recording host callback.

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "frame/effect_extended.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"

namespace {

// A value that needs all 64 bits on 64-bit targets, so that any narrowing shows.
constexpr intptr_t kWideValue =
    static_cast<intptr_t>(sizeof(intptr_t) > 4 ? 0x123456789LL : 0x12345678LL);

void* widePointer()
{
    return reinterpret_cast<void*>(kWideValue);
}

std::string yesNo(bool value)
{
    return value ? "true" : "false";
}

// Defaults only: what every effect answers until it overrides something.
class PlainEffect : public EffectExtended {
public:
    explicit PlainEffect(audioMasterCallback host = nullptr) : EffectExtended(host, 1, 1) {}
    void process(float**, float**, int32_t) override {}
};

// Records the arguments its operations receive; the bool operations answer `answer`.
class ProbeEffect : public PlainEffect {
public:
    using PlainEffect::PlainEffect;

    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f)
    {
        return getAeffect()->dispatcher(getAeffect(), opcode, index, value, ptr, opt);
    }

    void open() override { calls.push_back("open"); }
    void setSampleRate(float rate) override
    {
        calls.push_back("setSampleRate " + std::to_string(rate));
        PlainEffect::setSampleRate(rate);
    }
    void setBlockSize(int32_t size) override
    {
        calls.push_back("setBlockSize " + std::to_string(size));
        PlainEffect::setBlockSize(size);
    }
    int32_t setChunk(void* data, int32_t byteSize, bool isPreset) override
    {
        calls.push_back("setChunk " + std::to_string(byteSize) + " " + yesNo(isPreset));
        pointers.push_back(data);
        return 17;
    }
    bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override
    {
        calls.push_back("getProgramNameIndexed " + std::to_string(category) + " " + std::to_string(index));
        pointers.push_back(text);
        return answer;
    }
    void connectInput(int32_t index, bool connected) override
    {
        calls.push_back("connectInput " + std::to_string(index) + " " + yesNo(connected));
    }
    void connectOutput(int32_t index, bool connected) override
    {
        calls.push_back("connectOutput " + std::to_string(index) + " " + yesNo(connected));
    }
    bool getInputProperties(int32_t index, VstPinProperties* properties) override
    {
        calls.push_back("getInputProperties " + std::to_string(index));
        pointers.push_back(properties);
        return answer;
    }
    bool getOutputProperties(int32_t index, VstPinProperties* properties) override
    {
        calls.push_back("getOutputProperties " + std::to_string(index));
        pointers.push_back(properties);
        return answer;
    }
    bool offlineNotify(void* audioFiles, int32_t count, bool start) override
    {
        calls.push_back("offlineNotify " + std::to_string(count) + " " + yesNo(start));
        pointers.push_back(audioFiles);
        return answer;
    }
    bool offlinePrepare(void* tasks, int32_t count) override
    {
        calls.push_back("offlinePrepare " + std::to_string(count));
        pointers.push_back(tasks);
        return answer;
    }
    bool offlineRun(void* tasks, int32_t count) override
    {
        calls.push_back("offlineRun " + std::to_string(count));
        pointers.push_back(tasks);
        return answer;
    }
    bool setSpeakerArrangement(void* input, void* output) override
    {
        calls.push_back("setSpeakerArrangement");
        pointers.push_back(input);
        pointers.push_back(output);
        return answer;
    }
    bool setBypass(bool on) override
    {
        calls.push_back("setBypass " + yesNo(on));
        return answer;
    }
    // Echoes value, so a narrowed answer or argument shows.
    intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) override
    {
        calls.push_back("vendorSpecific " + std::to_string(index) + " " + std::to_string(opt));
        pointers.push_back(ptr);
        return value;
    }
    bool setViewPosition(int32_t x, int32_t y) override
    {
        calls.push_back("setViewPosition " + std::to_string(x) + " " + std::to_string(y));
        return answer;
    }
    bool getParameterProperties(int32_t index, void* properties) override
    {
        calls.push_back("getParameterProperties " + std::to_string(index));
        pointers.push_back(properties);
        return answer;
    }
    bool keysRequired() override { return answer; }
    float* getDestinationBuffer() override { return static_cast<float*>(widePointer()); }
    void* getIcon() override { return widePointer(); }

    bool answer = false;
    std::vector<std::string> calls;
    std::vector<const void*> pointers;
};

TEST(EffectExtendedDispatcher, ArgumentsReachTheOperationInTheirPlaces)
{
    char buffer[8] = "buffer";
    struct Row {
        int32_t opcode;
        int32_t index;
        intptr_t value;
        float opt;
        std::string call;
        std::vector<const void*> pointers;
        intptr_t answerWhenFalse;
        intptr_t answerWhenTrue;
    };
    const Row rows[] = {
        // The category travels in value and the program index in index.
        {effGetProgramNameIndexed, 3, 7, 0.0f, "getProgramNameIndexed 7 3", {buffer}, 0, 1},
        {effGetInputProperties, 1, 9, 0.0f, "getInputProperties 1", {buffer}, 0, 1},
        {effGetOutputProperties, 2, 9, 0.0f, "getOutputProperties 2", {buffer}, 0, 1},
        {effOfflineNotify, 5, 4, 0.0f, "offlineNotify 4 true", {buffer}, 0, 1},
        {effOfflineNotify, -1, 4, 0.0f, "offlineNotify 4 true", {buffer}, 0, 1},
        {effOfflineNotify, 0, 4, 0.0f, "offlineNotify 4 false", {buffer}, 0, 1},
        {effOfflinePrepare, 5, 6, 0.0f, "offlinePrepare 6", {buffer}, 0, 1},
        {effOfflineRun, 5, 6, 0.0f, "offlineRun 6", {buffer}, 0, 1},
        // The input arrangement is a pointer carried in value.
        {effSetSpeakerArrangement, 0, kWideValue, 0.0f, "setSpeakerArrangement", {widePointer(), buffer}, 0, 1},
        {effConnectInput, 2, 2, 0.0f, "connectInput 2 true", {}, 1, 1},
        {effConnectInput, 2, -1, 0.0f, "connectInput 2 true", {}, 1, 1},
        {effConnectInput, 2, 0, 0.0f, "connectInput 2 false", {}, 1, 1},
        {effConnectOutput, 1, 2, 0.0f, "connectOutput 1 true", {}, 1, 1},
        {effConnectOutput, 1, 0, 0.0f, "connectOutput 1 false", {}, 1, 1},
        {effSetBypass, 0, 2, 0.0f, "setBypass true", {}, 0, 1},
        {effSetBypass, 0, -1, 0.0f, "setBypass true", {}, 0, 1},
        {effSetBypass, 1, 0, 0.0f, "setBypass false", {}, 0, 1},
        {effVendorSpecific, 11, kWideValue, 0.5f, "vendorSpecific 11 0.500000", {buffer}, kWideValue, kWideValue},
        {effSetViewPosition, 10, 20, 0.0f, "setViewPosition 10 20", {}, 0, 1},
        {effGetParameterProperties, 2, 9, 0.0f, "getParameterProperties 2", {buffer}, 0, 1},
    };
    for (const Row& row : rows) {
        for (bool answer : {false, true}) {
            ProbeEffect effect;
            effect.answer = answer;
            const intptr_t result = effect.dispatch(row.opcode, row.index, row.value, buffer, row.opt);
            SCOPED_TRACE("opcode " + std::to_string(row.opcode) + ", answer " + yesNo(answer));
            EXPECT_EQ(result, answer ? row.answerWhenTrue : row.answerWhenFalse);
            EXPECT_EQ(effect.calls, std::vector<std::string>{row.call});
            EXPECT_EQ(effect.pointers, row.pointers);
        }
    }
}

TEST(EffectExtendedDispatcher, DefaultAnswers)
{
    struct Row {
        int32_t opcode;
        intptr_t answer;
    };
    const Row rows[] = {
        {effProcessEvents, 0},        {effCanBeAutomated, 1},        {effString2Parameter, 0},
        {effGetNumProgramCategories, 1}, {effGetProgramNameIndexed, 0}, {effCopyProgram, 0},
        {effConnectInput, 1},         {effConnectOutput, 1},         {effGetInputProperties, 0},
        {effGetOutputProperties, 0},  {effGetPlugCategory, 0},       {effGetCurrentPosition, 0},
        {effGetDestinationBuffer, 0}, {effOfflineNotify, 0},         {effOfflinePrepare, 0},
        {effOfflineRun, 0},           {effProcessVarIo, 0},          {effSetSpeakerArrangement, 0},
        {effSetBlockSizeAndSampleRate, 1}, {effSetBypass, 0},        {effGetEffectName, 0},
        {effGetErrorText, 0},         {effGetVendorString, 0},       {effGetProductString, 0},
        {effGetVendorVersion, 0},     {effVendorSpecific, 0},        {effCanDo, 0},
        {effGetTailSize, 0},          {effIdle, 0},                  {effGetIcon, 0},
        {effSetViewPosition, 0},      {effGetParameterProperties, 0}, {effKeysRequired, 1},
        {effGetVstVersion, 2},
    };
    ASSERT_EQ(std::size(rows), 34u);
    for (const Row& row : rows) {
        PlainEffect effect;
        char text[8] = "keep";
        AEffect* record = effect.getAeffect();
        EXPECT_EQ(record->dispatcher(record, row.opcode, 1, 1, text, 1.0f), row.answer)
            << "opcode " << row.opcode;
        EXPECT_STREQ(text, "keep") << "opcode " << row.opcode;
    }
}

TEST(EffectExtendedDispatcher, BlockSizeAndSampleRateAreStoredDirectly)
{
    ProbeEffect effect;
    EXPECT_EQ(effect.dispatch(effSetBlockSizeAndSampleRate, 3, 512, nullptr, 48000.0f), 1);
    EXPECT_EQ(effect.getBlockSize(), 512);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    // The separate setters are not involved, so their overrides do not see this operation.
    EXPECT_TRUE(effect.calls.empty());
}

TEST(EffectExtendedDispatcher, KeysRequiredAnswerIsInverted)
{
    ProbeEffect effect;
    effect.answer = false;
    EXPECT_EQ(effect.dispatch(effKeysRequired), 1);
    effect.answer = true;
    EXPECT_EQ(effect.dispatch(effKeysRequired), 0);
}

TEST(EffectExtendedDispatcher, PointerAnswersKeepEveryBit)
{
    ProbeEffect effect;
    EXPECT_EQ(effect.dispatch(effGetDestinationBuffer), kWideValue);
    EXPECT_EQ(effect.dispatch(effGetIcon), kWideValue);
}

TEST(EffectExtendedDispatcher, PlugCategoryFollowsTheSynthFlagOnly)
{
    ProbeEffect effect;
    effect.getAeffect()->flags = ~effFlagsIsSynth;
    EXPECT_EQ(effect.dispatch(effGetPlugCategory), 0);
    effect.setIsSynth(true);
    EXPECT_EQ(effect.dispatch(effGetPlugCategory), 2);
    effect.getAeffect()->flags = 0;
    effect.setIsSynth(true);
    EXPECT_EQ(effect.dispatch(effGetPlugCategory), 2);
    effect.setIsSynth(false);
    EXPECT_EQ(effect.dispatch(effGetPlugCategory), 0);
}

TEST(EffectExtendedDispatcher, OtherNumbersReachTheCoreDispatcherWithAllArguments)
{
    char buffer[8] = "buffer";
    struct Row {
        int32_t opcode;
        int32_t index;
        intptr_t value;
        float opt;
        intptr_t answer;
        std::vector<std::string> calls;
        std::vector<const void*> pointers;
    };
    const Row rows[] = {
        {effOpen, 0, 0, 0.0f, 0, {"open"}, {}},
        {effSetSampleRate, 0, 0, 22050.0f, 0, {"setSampleRate 22050.000000"}, {}},
        {effSetBlockSize, 0, 64, 0.0f, 0, {"setBlockSize 64"}, {}},
        {effIdentify, 5, 6, 1.0f, 0x4E764566, {}, {}},
        {effSetChunk, 1, 4, 0.0f, 17, {"setChunk 4 true"}, {buffer}},
        {effSetChunk, 0, 4, 0.0f, 17, {"setChunk 4 false"}, {buffer}},
        {59, 1, 1, 1.0f, 0, {}, {}},
        {1000, 1, 1, 1.0f, 0, {}, {}},
        {-1, 1, 1, 1.0f, 0, {}, {}},
        {INT32_MIN, 1, 1, 1.0f, 0, {}, {}},
        {INT32_MAX, 1, 1, 1.0f, 0, {}, {}},
    };
    for (const Row& row : rows) {
        ProbeEffect effect;
        EXPECT_EQ(effect.dispatch(row.opcode, row.index, row.value, buffer, row.opt), row.answer)
            << "opcode " << row.opcode;
        EXPECT_EQ(effect.calls, row.calls) << "opcode " << row.opcode;
        EXPECT_EQ(effect.pointers, row.pointers) << "opcode " << row.opcode;
        EXPECT_STREQ(buffer, "buffer");
    }
}

TEST(EffectExtendedFlags, EachSetterTouchesOneBit)
{
    struct Row {
        void (EffectExtended::*setter)(bool);
        int32_t bit;
    };
    const Row rows[] = {
        {&EffectExtended::setIsSynth, 256},
        {&EffectExtended::setNoSoundInStop, 512},
        {&EffectExtended::setIsAsync, 1024},
        {&EffectExtended::setHasBuffer, 2048},
    };
    for (const Row& row : rows) {
        for (int32_t before : {0, ~0}) {
            PlainEffect effect;
            effect.getAeffect()->flags = before;
            (effect.*row.setter)(true);
            EXPECT_EQ(effect.getAeffect()->flags, before | row.bit);
            (effect.*row.setter)(false);
            EXPECT_EQ(effect.getAeffect()->flags, before & ~row.bit);
        }
    }
}

// Records the host passes by address; the wrappers only pass them on.
char taskRecord[8];
char audioFilesRecord[8];
char windowRecord[8];
char outputArrangement[8];
char hostText[8];

// An effect created by the host's entry call, so that the recording host knows its record.
AEffect* createProbe(audioMasterCallback host)
{
    return (new ProbeEffect(host))->getAeffect();
}

struct HostedProbe {
    HostedProbe()
        : effect(static_cast<ProbeEffect*>(static_cast<EffectCore*>(host.callEntry(&createProbe)->object)))
    {
    }

    RecordingHost host;
    std::unique_ptr<ProbeEffect> effect;
};

enum class Conversion { Unchanged, Pointer, Truth, ExactlyOne, SampleRateField, BlockSizeField };

struct HostRow {
    const char* name;
    intptr_t (*invoke)(ProbeEffect& effect);
    HostOpcode opcode;
    int32_t index;
    intptr_t value;
    const void* ptr;
    float opt;
    Conversion conversion;
};

const std::vector<HostRow>& hostRows()
{
    static const std::vector<HostRow> rows = {
        {"hostWantMidi", [](ProbeEffect& e) -> intptr_t { return e.hostWantMidi(3); },
         audioMasterWantMidi, 0, 3, nullptr, 0.0f, Conversion::Unchanged},
        {"hostGetTime", [](ProbeEffect& e) { return reinterpret_cast<intptr_t>(e.hostGetTime(15)); },
         audioMasterGetTime, 0, 15, nullptr, 0.0f, Conversion::Pointer},
        {"hostProcessEvents", [](ProbeEffect& e) -> intptr_t { return e.hostProcessEvents(taskRecord); },
         audioMasterProcessEvents, 0, 0, taskRecord, 0.0f, Conversion::ExactlyOne},
        {"hostTempoAt", [](ProbeEffect& e) -> intptr_t { return e.hostTempoAt(4410); },
         audioMasterTempoAt, 0, 4410, nullptr, 0.0f, Conversion::Unchanged},
        {"hostGetNumAutomatableParameters",
         [](ProbeEffect& e) -> intptr_t { return e.hostGetNumAutomatableParameters(); },
         audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0.0f, Conversion::Unchanged},
        {"hostGetParameterQuantization",
         [](ProbeEffect& e) -> intptr_t { return e.hostGetParameterQuantization(); },
         audioMasterGetParameterQuantization, 0, 0, nullptr, 0.0f, Conversion::Unchanged},
        {"hostIOChanged", [](ProbeEffect& e) -> intptr_t { return e.hostIOChanged(); },
         audioMasterIOChanged, 0, 0, nullptr, 0.0f, Conversion::Truth},
        {"hostNeedIdle", [](ProbeEffect& e) -> intptr_t { return e.hostNeedIdle(); },
         audioMasterNeedIdle, 0, 0, nullptr, 0.0f, Conversion::Truth},
        {"hostSizeWindow", [](ProbeEffect& e) -> intptr_t { return e.hostSizeWindow(256, 96); },
         audioMasterSizeWindow, 256, 96, nullptr, 0.0f, Conversion::Truth},
        {"hostGetSampleRate", [](ProbeEffect& e) { return static_cast<intptr_t>(e.hostGetSampleRate()); },
         audioMasterGetSampleRate, 0, 0, nullptr, 0.0f, Conversion::SampleRateField},
        {"hostGetBlockSize", [](ProbeEffect& e) -> intptr_t { return e.hostGetBlockSize(); },
         audioMasterGetBlockSize, 0, 0, nullptr, 0.0f, Conversion::BlockSizeField},
        {"hostGetInputLatency", [](ProbeEffect& e) -> intptr_t { return e.hostGetInputLatency(); },
         audioMasterGetInputLatency, 0, 0, nullptr, 0.0f, Conversion::Unchanged},
        {"hostGetOutputLatency", [](ProbeEffect& e) -> intptr_t { return e.hostGetOutputLatency(); },
         audioMasterGetOutputLatency, 0, 0, nullptr, 0.0f, Conversion::Unchanged},
        // The pin is not sent.
        {"hostGetPreviousPlug", [](ProbeEffect& e) { return reinterpret_cast<intptr_t>(e.hostGetPreviousPlug(2)); },
         audioMasterGetPreviousPlug, 0, 0, nullptr, 0.0f, Conversion::Pointer},
        {"hostGetNextPlug", [](ProbeEffect& e) { return reinterpret_cast<intptr_t>(e.hostGetNextPlug(3)); },
         audioMasterGetNextPlug, 0, 0, nullptr, 0.0f, Conversion::Pointer},
        {"hostWillReplaceOrAccumulate",
         [](ProbeEffect& e) -> intptr_t { return e.hostWillReplaceOrAccumulate(); },
         audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0.0f, Conversion::Unchanged},
        {"hostGetCurrentProcessLevel",
         [](ProbeEffect& e) -> intptr_t { return e.hostGetCurrentProcessLevel(); },
         audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f, Conversion::Unchanged},
        {"hostGetAutomationState", [](ProbeEffect& e) -> intptr_t { return e.hostGetAutomationState(); },
         audioMasterGetAutomationState, 0, 0, nullptr, 0.0f, Conversion::Unchanged},
        // The new file count travels in index and the file count in value.
        {"hostOfflineStart",
         [](ProbeEffect& e) -> intptr_t { return e.hostOfflineStart(audioFilesRecord, 3, 5); },
         audioMasterOfflineStart, 5, 3, audioFilesRecord, 0.0f, Conversion::Truth},
        {"hostOfflineRead source",
         [](ProbeEffect& e) -> intptr_t { return e.hostOfflineRead(taskRecord, 9, true); },
         audioMasterOfflineRead, 1, 9, taskRecord, 0.0f, Conversion::Truth},
        {"hostOfflineRead", [](ProbeEffect& e) -> intptr_t { return e.hostOfflineRead(taskRecord, 9, false); },
         audioMasterOfflineRead, 0, 9, taskRecord, 0.0f, Conversion::Truth},
        {"hostOfflineWrite", [](ProbeEffect& e) -> intptr_t { return e.hostOfflineWrite(taskRecord, 9); },
         audioMasterOfflineWrite, 0, 9, taskRecord, 0.0f, Conversion::Truth},
        {"hostOfflineGetCurrentPass", [](ProbeEffect& e) -> intptr_t { return e.hostOfflineGetCurrentPass(); },
         audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0.0f, Conversion::Truth},
        {"hostOfflineGetCurrentMetaPass",
         [](ProbeEffect& e) -> intptr_t { return e.hostOfflineGetCurrentMetaPass(); },
         audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0.0f, Conversion::Truth},
        {"hostSetOutputSampleRate", [](ProbeEffect& e) -> intptr_t { return e.hostSetOutputSampleRate(48000.0f); },
         audioMasterSetOutputSampleRate, 0, 0, nullptr, 48000.0f, Conversion::Unchanged},
        // The input arrangement is a pointer carried in value.
        {"hostGetSpeakerArrangement",
         [](ProbeEffect& e) -> intptr_t { return e.hostGetSpeakerArrangement(widePointer(), outputArrangement); },
         audioMasterGetSpeakerArrangement, 0, kWideValue, outputArrangement, 0.0f, Conversion::Truth},
        {"hostGetVendorString", [](ProbeEffect& e) -> intptr_t { return e.hostGetVendorString(hostText); },
         audioMasterGetVendorString, 0, 0, hostText, 0.0f, Conversion::Truth},
        {"hostGetProductString", [](ProbeEffect& e) -> intptr_t { return e.hostGetProductString(hostText); },
         audioMasterGetProductString, 0, 0, hostText, 0.0f, Conversion::Truth},
        {"hostGetVendorVersion", [](ProbeEffect& e) -> intptr_t { return e.hostGetVendorVersion(); },
         audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f, Conversion::Unchanged},
        {"hostVendorSpecific",
         [](ProbeEffect& e) { return e.hostVendorSpecific(11, kWideValue, taskRecord, 0.25f); },
         audioMasterVendorSpecific, 11, kWideValue, taskRecord, 0.25f, Conversion::Pointer},
        {"hostCanDo", [](ProbeEffect& e) -> intptr_t { return e.hostCanDo(hostText); },
         audioMasterCanDo, 0, 0, hostText, 0.0f, Conversion::Truth},
        {"hostGetLanguage", [](ProbeEffect& e) -> intptr_t { return e.hostGetLanguage(); },
         audioMasterGetLanguage, 0, 0, nullptr, 0.0f, Conversion::Unchanged},
        {"hostOpenWindow", [](ProbeEffect& e) { return reinterpret_cast<intptr_t>(e.hostOpenWindow(windowRecord)); },
         audioMasterOpenWindow, 0, 0, windowRecord, 0.0f, Conversion::Pointer},
        {"hostCloseWindow", [](ProbeEffect& e) -> intptr_t { return e.hostCloseWindow(windowRecord); },
         audioMasterCloseWindow, 0, 0, windowRecord, 0.0f, Conversion::Truth},
        {"hostGetDirectory", [](ProbeEffect& e) { return reinterpret_cast<intptr_t>(e.hostGetDirectory()); },
         audioMasterGetDirectory, 0, 0, nullptr, 0.0f, Conversion::Pointer},
        {"hostUpdateDisplay", [](ProbeEffect& e) -> intptr_t { return e.hostUpdateDisplay(); },
         audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f, Conversion::Truth},
    };
    return rows;
}

intptr_t expectedResult(Conversion conversion, intptr_t answer)
{
    switch (conversion) {
    case Conversion::Unchanged:
    case Conversion::Pointer: return answer;
    case Conversion::Truth: return answer != 0 ? 1 : 0;
    case Conversion::ExactlyOne: return answer == 1 ? 1 : 0;
    case Conversion::SampleRateField: return 44100;
    case Conversion::BlockSizeField: return 1024;
    }
    return -12345;
}

TEST(EffectExtendedHostCalls, EachWrapperSendsItsArgumentsAndConvertsTheAnswer)
{
    for (const HostRow& row : hostRows()) {
        std::vector<intptr_t> answers = {0, 1, 2, -1, 123456};
        if (row.conversion == Conversion::Pointer) {
            answers.push_back(kWideValue);
        }
        for (intptr_t answer : answers) {
            SCOPED_TRACE(std::string(row.name) + ", host answers " + std::to_string(answer));
            HostedProbe hosted;
            hosted.host.setAnswer(row.opcode, answer);
            EXPECT_EQ(row.invoke(*hosted.effect), expectedResult(row.conversion, answer));
            const std::vector<HostCall> calls = hosted.host.calls();
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].effect, hosted.effect->getAeffect());
            EXPECT_EQ(calls[0].opcode, row.opcode);
            EXPECT_EQ(calls[0].index, row.index);
            EXPECT_EQ(calls[0].value, row.value);
            EXPECT_EQ(calls[0].ptr, row.ptr);
            EXPECT_EQ(calls[0].opt, row.opt);
        }
    }
}

TEST(EffectExtendedHostCalls, WithoutCallbackEachWrapperAnswersItsDefault)
{
    for (const HostRow& row : hostRows()) {
        ProbeEffect effect;
        EXPECT_EQ(row.invoke(effect), expectedResult(row.conversion, 0)) << row.name;
    }
    ProbeEffect effect;
    EXPECT_EQ(effect.hostGetSampleRate(), 44100.0f);
    EXPECT_FALSE(effect.hostUpdateDisplay());
    effect.dispatch(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 96000.0f);
    EXPECT_EQ(effect.hostGetSampleRate(), 96000.0f);
    EXPECT_EQ(effect.hostGetBlockSize(), 256);
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
    EXPECT_EQ(hosted.effect->hostGetBlockSize(), 333);
}

} // namespace
