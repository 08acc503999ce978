// The core effect base as a host sees it: every call goes through the record's function pointers.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "editor/editor_base.h"
#include "frame/effect_core.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"

namespace {

// Records which virtual operations the dispatcher reached, and with what.
class ProbeEffect : public EffectCore {
public:
    explicit ProbeEffect(audioMasterCallback host = nullptr, int32_t programs = 1, int32_t parameters = 1)
        : EffectCore(host, programs, parameters)
    {
    }

    void process(float**, float**, int32_t) override { calls.push_back("process"); }
    void open() override { calls.push_back("open"); }
    void close() override { calls.push_back("close"); }
    void setProgram(int32_t program) override
    {
        calls.push_back("setProgram " + std::to_string(program));
        EffectCore::setProgram(program);
    }
    void suspend() override { calls.push_back("suspend"); }
    void resume() override { calls.push_back("resume"); }
    float getVu() override { return vu; }
    int32_t getChunk(void** data, bool isPreset) override
    {
        calls.push_back(std::string("getChunk ") + (isPreset ? "preset" : "bank"));
        return EffectCore::getChunk(data, isPreset);
    }
    int32_t setChunk(void* data, int32_t byteSize, bool isPreset) override
    {
        calls.push_back("setChunk " + std::to_string(byteSize) + (isPreset ? " preset" : " bank"));
        chunkSeen = data;
        return 17;
    }
    void setParameter(int32_t index, float value) override
    {
        calls.push_back("setParameter " + std::to_string(index) + " " + std::to_string(value));
    }

    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f)
    {
        return getAeffect()->dispatcher(getAeffect(), opcode, index, value, ptr, opt);
    }

    std::vector<std::string> calls;
    float vu = 0.0f;
    void* chunkSeen = nullptr;
};

// Counts what the dispatcher forwards to an editor.
class ProbeEditor : public EditorBase {
public:
    ProbeEditor(EffectCore& effect, int* destroyed) : EditorBase(effect), destroyed(destroyed) {}
    ~ProbeEditor() override { ++*destroyed; }

    int32_t getRect(ERect** rect) override
    {
        *rect = &rectangle;
        return 7;
    }
    int32_t open(void* parent) override
    {
        openedWith = parent;
        return 5;
    }
    void close() override { ++closes; }
    void idle() override { ++idles; }

    ERect rectangle{0, 0, 96, 256};
    void* openedWith = nullptr;
    int closes = 0;
    int idles = 0;
    int* destroyed;
};

TEST(EffectCoreRecord, IsFilledByConstruction)
{
    ProbeEffect effect(nullptr, 3, 5);
    const AEffect& record = *effect.getAeffect();
    EXPECT_EQ(record.magic, 0x56737450);
    EXPECT_EQ(record.numPrograms, 3);
    EXPECT_EQ(record.numParams, 5);
    EXPECT_EQ(record.numInputs, 1);
    EXPECT_EQ(record.numOutputs, 2);
    EXPECT_EQ(record.flags, 0);
    EXPECT_EQ(record.uniqueID, 0x4E6F4566);
    EXPECT_EQ(record.version, 2);
    EXPECT_EQ(record.ioRatio, 2.0f);
    EXPECT_EQ(record.object, static_cast<void*>(&effect));
    EXPECT_EQ(record.user, nullptr);
    EXPECT_EQ(record.resvd1, 0);
    EXPECT_EQ(record.resvd2, 0);
    EXPECT_EQ(record.initialDelay, 0);
    EXPECT_EQ(record.realQualities, 0);
    EXPECT_EQ(record.offQualities, 0);
    for (char byte : record.future) {
        EXPECT_EQ(byte, 0);
    }
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    EXPECT_EQ(effect.dispatch(effGetProgram), 0);
}

TEST(EffectCoreRecord, FunctionPointersReachTheObject)
{
    ProbeEffect effect;
    AEffect* record = effect.getAeffect();
    record->process(record, nullptr, nullptr, 0);
    record->setParameter(record, 0, 0.25f);
    EXPECT_EQ(effect.calls, (std::vector<std::string>{"process", "setParameter 0 0.250000"}));
    EXPECT_EQ(record->getParameter(record, 0), 0.0f);
    // The base's replacing call does nothing, so the output stays as the host left it.
    float out0[1] = {9.0f};
    float out1[1] = {9.0f};
    float* outputs[2] = {out0, out1};
    record->processReplacing(record, outputs, outputs, 1);
    EXPECT_EQ(out0[0], 9.0f);
}

TEST(EffectCoreRecord, TwoEffectsAreIndependent)
{
    ProbeEffect first(nullptr, 1, 1);
    ProbeEffect second(nullptr, 4, 2);
    EXPECT_NE(first.getAeffect(), second.getAeffect());
    EXPECT_EQ(first.getAeffect()->object, &first);
    EXPECT_EQ(second.getAeffect()->object, &second);
    second.setUniqueID(1234);
    second.setCanReplacing(true);
    EXPECT_EQ(first.getAeffect()->uniqueID, 0x4E6F4566);
    EXPECT_EQ(first.getAeffect()->flags, 0);
    EXPECT_EQ(second.getAeffect()->numPrograms, 4);
}

TEST(EffectCoreDispatcher, ProgramNumberIsBoundedByTheProgramCount)
{
    ProbeEffect effect(nullptr, 1, 1);
    struct Row {
        intptr_t value;
        bool accepted;
    };
    for (const Row& row : {Row{0, true}, Row{1, false}, Row{-1, false}, Row{INT32_MAX, false}}) {
        effect.calls.clear();
        EXPECT_EQ(effect.dispatch(effSetProgram, 0, row.value), 0);
        EXPECT_EQ(effect.calls.size(), row.accepted ? 1u : 0u) << "value " << row.value;
    }

    ProbeEffect three(nullptr, 3, 1);
    three.dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(three.dispatch(effGetProgram), 2);
    three.dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(three.dispatch(effGetProgram), 2);
}

TEST(EffectCoreDispatcher, MeterIsScaledAndTruncatedAndSaturated)
{
    ProbeEffect effect;
    struct Row {
        float vu;
        intptr_t expected;
    };
    const Row rows[] = {
        {0.0f, 0},
        {1.0f, 32767},
        {0.5f, 16383},
        {-0.5f, -16383},
        {1e6f, INT32_MAX},
        {-1e6f, INT32_MIN},
        {std::numeric_limits<float>::infinity(), INT32_MAX},
        {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    for (const Row& row : rows) {
        effect.vu = row.vu;
        EXPECT_EQ(effect.dispatch(effGetVu), row.expected) << "vu " << row.vu;
    }
}

TEST(EffectCoreDispatcher, MainsChangedSuspendsOnlyForZero)
{
    ProbeEffect effect;
    for (intptr_t value : {intptr_t{1}, intptr_t{2}, intptr_t{-1}}) {
        effect.calls.clear();
        EXPECT_EQ(effect.dispatch(effMainsChanged, 0, value), 0);
        EXPECT_EQ(effect.calls, std::vector<std::string>{"resume"});
    }
    effect.calls.clear();
    effect.dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(effect.calls, std::vector<std::string>{"suspend"});
}

TEST(EffectCoreDispatcher, ChunkFlagComesFromTheIndex)
{
    ProbeEffect effect;
    void* untouched = &effect;
    void* data = untouched;
    EXPECT_EQ(effect.dispatch(effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(effect.dispatch(effGetChunk, 7, 0, &data), 0);
    EXPECT_EQ(data, untouched);
    char bytes[4] = {};
    EXPECT_EQ(effect.dispatch(effSetChunk, -3, 4, bytes), 17);
    EXPECT_EQ(effect.chunkSeen, bytes);
    EXPECT_EQ(effect.calls, (std::vector<std::string>{"getChunk bank", "getChunk preset", "setChunk 4 preset"}));
}

TEST(EffectCoreDispatcher, SetupAndIdentityOperations)
{
    ProbeEffect effect;
    EXPECT_EQ(effect.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    EXPECT_EQ(effect.dispatch(effSetBlockSize, 0, 256), 0);
    EXPECT_EQ(effect.getBlockSize(), 256);
    EXPECT_EQ(effect.dispatch(effIdentify, 5, 6, &effect, 1.0f), 0x4E764566);
    effect.dispatch(effOpen);
    effect.dispatch(effGetProgram);
    EXPECT_EQ(effect.calls, std::vector<std::string>{"open"});
}

TEST(EffectCoreDispatcher, DefaultTextsAreEmpty)
{
    ProbeEffect effect;
    for (int32_t opcode : {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        char text[8] = "xyz";
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, text), 0);
        EXPECT_STREQ(text, "") << "opcode " << opcode;
        EXPECT_EQ(text[1], 'y') << "only the first byte is written";
        // A host that passes no buffer gets nothing written.
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, nullptr), 0);
    }
}

TEST(EffectCoreDispatcher, UnknownAndInertOpcodesAnswerZeroAndCallNothing)
{
    ProbeEffect effect;
    int destroyed = 0;
    auto* editor = new ProbeEditor(effect, &destroyed);
    effect.setEditor(editor);
    for (int32_t opcode : {int32_t{effEditDraw}, int32_t{effEditMouse}, int32_t{effEditKey}, int32_t{effEditTop},
                           int32_t{effEditSleep}, 25, 58, 100, -1, INT32_MIN, INT32_MAX}) {
        char text[4] = "abc";
        EXPECT_EQ(effect.dispatch(opcode, 1, 1, text, 1.0f), 0) << "opcode " << opcode;
        EXPECT_STREQ(text, "abc");
    }
    EXPECT_TRUE(effect.calls.empty());
    EXPECT_EQ(editor->closes + editor->idles, 0);
    EXPECT_EQ(editor->openedWith, nullptr);
}

TEST(EffectCoreEditor, OperationsWithoutAnEditorTouchNothing)
{
    ProbeEffect effect;
    ERect sentinel{};
    ERect* rect = &sentinel;
    EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, &sentinel);
    EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, &sentinel), 0);
    EXPECT_EQ(effect.dispatch(effEditClose), 0);
    EXPECT_EQ(effect.dispatch(effEditIdle), 0);
}

TEST(EffectCoreEditor, OperationsReachTheRegisteredEditor)
{
    ProbeEffect effect;
    int destroyed = 0;
    auto* editor = new ProbeEditor(effect, &destroyed);
    effect.setEditor(editor);
    ERect* rect = nullptr;
    EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect), 7);
    EXPECT_EQ(rect, &editor->rectangle);
    int parent = 0;
    EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, &parent), 5);
    EXPECT_EQ(editor->openedWith, &parent);
    EXPECT_EQ(effect.dispatch(effEditIdle), 0);
    EXPECT_EQ(effect.dispatch(effEditClose), 0);
    EXPECT_EQ(editor->idles, 1);
    EXPECT_EQ(editor->closes, 1);
}

TEST(EffectCoreEditor, RegistrationTouchesOnlyTheEditorFlag)
{
    ProbeEffect effect;
    int destroyed = 0;
    effect.setHasClip(true);
    effect.setProgramsAreChunks(true);
    ProbeEditor editor(effect, &destroyed);
    effect.setEditor(&editor);
    EXPECT_EQ(effect.getAeffect()->flags, effFlagsHasEditor | effFlagsHasClip | effFlagsProgramChunks);
    effect.setEditor(nullptr);
    EXPECT_EQ(effect.getAeffect()->flags, effFlagsHasClip | effFlagsProgramChunks);
    EXPECT_EQ(effect.getEditor(), nullptr);
}

TEST(EffectCoreRecord, CloseAnswersOneAndDestroysTheEffectAndItsEditor)
{
    int destroyed = 0;
    auto* effect = new ProbeEffect;
    effect->setEditor(new ProbeEditor(*effect, &destroyed));
    AEffect* record = effect->getAeffect();
    EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(destroyed, 1);
}

TEST(EffectCoreSetters, EachFlagSetterTouchesOneBit)
{
    struct Row {
        void (EffectCore::*setter)(bool);
        int32_t bit;
    };
    const Row rows[] = {
        {&EffectCore::setHasVu, effFlagsHasVu},
        {&EffectCore::setHasClip, effFlagsHasClip},
        {&EffectCore::setCanSingleChannel, effFlagsCanSingleChannel},
        {&EffectCore::setCanReplacing, effFlagsCanReplacing},
        {&EffectCore::setProgramsAreChunks, effFlagsProgramChunks},
    };
    for (const Row& row : rows) {
        for (int32_t before : {0, ~0}) {
            ProbeEffect effect;
            effect.getAeffect()->flags = before;
            (effect.*row.setter)(true);
            EXPECT_EQ(effect.getAeffect()->flags, before | row.bit);
            (effect.*row.setter)(false);
            EXPECT_EQ(effect.getAeffect()->flags, before & ~row.bit);
        }
    }
}

TEST(EffectCoreSetters, RecordSettersWriteTheirField)
{
    ProbeEffect effect;
    effect.setUniqueID(0x41424344);
    effect.setNumInputs(6);
    effect.setNumOutputs(8);
    effect.setRealtimeQualities(3);
    effect.setOfflineQualities(4);
    effect.setInitialDelay(64);
    const AEffect& record = *effect.getAeffect();
    EXPECT_EQ(record.uniqueID, 0x41424344);
    EXPECT_EQ(record.numInputs, 6);
    EXPECT_EQ(record.numOutputs, 8);
    EXPECT_EQ(record.realQualities, 3);
    EXPECT_EQ(record.offQualities, 4);
    EXPECT_EQ(record.initialDelay, 64);
    EXPECT_EQ(record.flags, 0);
}

// An effect created the way a module's entry creates one, owned by a recording host.
class HostedProbe {
public:
    HostedProbe() : record(host.callEntry(create)), effect(static_cast<ProbeEffect&>(*static_cast<EffectCore*>(record->object))) {}
    ~HostedProbe()
    {
        record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
        host.forget(record);
    }

    RecordingHost host;
    AEffect* record;
    ProbeEffect& effect;

private:
    static AEffect* create(audioMasterCallback callback) { return (new ProbeEffect(callback))->getAeffect(); }
};

void expectCall(const HostCall& call, AEffect* record, HostOpcode opcode, int32_t index, intptr_t value, float opt)
{
    EXPECT_EQ(call.effect, record);
    EXPECT_EQ(call.opcode, opcode);
    EXPECT_EQ(call.index, index);
    EXPECT_EQ(call.value, value);
    EXPECT_EQ(call.ptr, nullptr);
    EXPECT_EQ(call.opt, opt);
}

TEST(EffectCoreHostCalls, VersionIsOneWhenTheHostSaysNothing)
{
    struct Row {
        intptr_t answer;
        int32_t expected;
    };
    for (const Row& row : {Row{0, 1}, Row{2300, 2300}, Row{-5, -5}}) {
        HostedProbe probe;
        probe.host.setAnswer(audioMasterVersion, row.answer);
        EXPECT_EQ(probe.effect.hostVersion(), row.expected);
        ASSERT_EQ(probe.host.calls().size(), 1u);
        expectCall(probe.host.calls()[0], probe.record, audioMasterVersion, 0, 0, 0.0f);
    }
    EXPECT_EQ(ProbeEffect().hostVersion(), 1);
}

TEST(EffectCoreHostCalls, CurrentIdAndIdlePassTheHostThrough)
{
    HostedProbe probe;
    probe.host.setAnswer(audioMasterCurrentId, 0x41424344);
    EXPECT_EQ(probe.effect.hostCurrentId(), 0x41424344);
    probe.effect.hostIdle();
    const auto calls = probe.host.calls();
    ASSERT_EQ(calls.size(), 2u);
    expectCall(calls[0], probe.record, audioMasterCurrentId, 0, 0, 0.0f);
    expectCall(calls[1], probe.record, audioMasterIdle, 0, 0, 0.0f);

    ProbeEffect unhosted;
    EXPECT_EQ(unhosted.hostCurrentId(), 0);
    unhosted.hostIdle();
}

TEST(EffectCoreHostCalls, PinConnectionAnswersAreInverted)
{
    struct Row {
        bool output;
        intptr_t answer;
        bool connected;
    };
    const Row rows[] = {{false, 0, true}, {false, 1, false}, {true, 0, true}, {true, 1, false}, {true, -1, false}};
    for (const Row& row : rows) {
        HostedProbe probe;
        probe.host.setAnswer(audioMasterPinConnected, row.answer);
        const bool connected = row.output ? probe.effect.hostIsOutputConnected(3) : probe.effect.hostIsInputConnected(3);
        EXPECT_EQ(connected, row.connected);
        ASSERT_EQ(probe.host.calls().size(), 1u);
        expectCall(probe.host.calls()[0], probe.record, audioMasterPinConnected, 3, row.output ? 1 : 0, 0.0f);
    }
    ProbeEffect unhosted;
    EXPECT_TRUE(unhosted.hostIsInputConnected(0));
    EXPECT_TRUE(unhosted.hostIsOutputConnected(0));
}

TEST(EffectCoreHostCalls, AutomationStoresFirstThenTellsTheHost)
{
    HostedProbe probe;
    size_t callsSeenByHost = 0;
    probe.host.setAnswer(audioMasterAutomate, [&](const HostCall&) {
        callsSeenByHost = probe.effect.calls.size();
        return intptr_t{0};
    });
    probe.effect.setParameterAutomated(0, 0.25f);
    EXPECT_EQ(probe.effect.calls, std::vector<std::string>{"setParameter 0 0.250000"});
    EXPECT_EQ(callsSeenByHost, 1u);
    ASSERT_EQ(probe.host.calls().size(), 1u);
    expectCall(probe.host.calls()[0], probe.record, audioMasterAutomate, 0, 0, 0.25f);

    ProbeEffect unhosted;
    unhosted.setParameterAutomated(2, 0.5f);
    EXPECT_EQ(unhosted.calls, std::vector<std::string>{"setParameter 2 0.500000"});
}

} // namespace
