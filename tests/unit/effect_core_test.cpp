// SPDX-License-Identifier: MIT
// The core effect base as a host sees it: every call goes through the record's function pointers.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "frame/editor_base.h"
#include "frame/effect_core.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"

namespace vela {

namespace {

using Calls = std::vector<std::string>;

// Records which virtual operations the dispatcher reached, and with what.
class ProbeEffect : public EffectCore {
public:
    explicit ProbeEffect(audioMasterCallback host = nullptr, int32_t programs = 1, int32_t parameters = 1)
        : EffectCore(host, programs, parameters)
    {
    }

    void process(float**, float**, int32_t) override { calls.push_back("process"); }
    void open() override { calls.push_back("open"); }
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
    int32_t setChunk(void* data, int32_t size, bool isPreset) override
    {
        calls.push_back("setChunk " + std::to_string(size) + (isPreset ? " preset" : " bank"));
        chunkSeen = data;
        return 17;
    }
    void setParameter(int32_t index, float value) override
    {
        calls.push_back("setParameter " + std::to_string(index) + " " + std::to_string(value));
    }

    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return getAeffect()->dispatcher(getAeffect(), opcode, index, value, ptr, opt);
    }

    Calls calls;
    float vu = 0.0f;
    void* chunkSeen = nullptr;
};

// Counts what the dispatcher forwards to an editor, and how many editors were destroyed.
class ProbeEditor : public EditorBase {
public:
    using EditorBase::EditorBase;
    ~ProbeEditor() override { ++destroyed; }

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
    int closes = 0, idles = 0;
    static inline int destroyed = 0;
};

TEST(EffectCoreRecord, IsFilledByConstructionAndReachesTheObject)
{
    ProbeEffect effect(nullptr, 3, 5);
    AEffect* record = effect.getAeffect();
    const AEffect& r = *record;
    EXPECT_EQ(std::tuple(r.magic, r.numPrograms, r.numParams, r.numInputs, r.numOutputs, r.flags, r.uniqueID, r.version,
                         r.resvd1, r.resvd2, r.initialDelay, r.realQualities, r.offQualities),
              std::tuple(0x56737450, 3, 5, 1, 2, 0, 0x4E6F4566, 2, 0, 0, 0, 0, 0));
    EXPECT_EQ(std::tuple(r.ioRatio, r.object, r.user), std::tuple(2.0f, &effect, nullptr));
    const char zeros[sizeof r.future] = {};
    EXPECT_EQ(std::memcmp(r.future, zeros, sizeof zeros), 0);
    EXPECT_EQ(std::tuple(effect.getSampleRate(), effect.getBlockSize(), effect.dispatch(effGetProgram)),
              std::tuple(44100.0f, 1024, 0));

    record->process(record, nullptr, nullptr, 0);
    record->setParameter(record, 0, 0.25f);
    EXPECT_EQ(effect.calls, (Calls{"process", "setParameter 0 0.250000"}));
    EXPECT_EQ(record->getParameter(record, 0), 0.0f);
    // The base's replacing call does nothing, so the output stays as the host left it.
    float out[1] = {9.0f};
    float* outputs[2] = {out, out};
    record->processReplacing(record, outputs, outputs, 1);
    EXPECT_EQ(out[0], 9.0f);
}

TEST(EffectCoreRecord, TwoEffectsAreIndependentAndEachSetterWritesItsOwnField)
{
    ProbeEffect first(nullptr, 1, 1);
    ProbeEffect second(nullptr, 4, 2);
    EXPECT_EQ(first.getAeffect()->object, &first);
    EXPECT_EQ(second.getAeffect()->object, &second);
    second.setUniqueID(0x41424344);
    second.setNumInputs(6);
    second.setNumOutputs(8);
    second.setRealtimeQualities(3);
    second.setOfflineQualities(4);
    second.setInitialDelay(64);
    second.setCanReplacing(true);
    second.dispatch(effSetProgram, 0, 3);
    auto fields = [](const AEffect* r) {
        return std::tuple(r->uniqueID, r->numInputs, r->numOutputs, r->realQualities, r->offQualities, r->initialDelay,
                          r->flags, r->numPrograms);
    };
    EXPECT_EQ(fields(second.getAeffect()), std::tuple(0x41424344, 6, 8, 3, 4, 64, effFlagsCanReplacing, 4));
    EXPECT_EQ(fields(first.getAeffect()), std::tuple(0x4E6F4566, 1, 2, 0, 0, 0, 0, 1));
    EXPECT_EQ(second.dispatch(effGetProgram), 3);
    EXPECT_EQ(first.dispatch(effGetProgram), 0);
}

TEST(EffectCoreDispatcher, ProgramNumberIsBoundedByTheProgramCount)
{
    struct Row {
        int32_t programs;
        intptr_t value;
        int32_t current;
    }; // current: after the call, from 0
    const Row rows[] = {{1, 0, 0}, {1, 1, 0}, {1, -1, 0}, {1, INT32_MAX, 0}, {3, 2, 2}, {3, 3, 0}};
    for (const Row& row : rows) {
        ProbeEffect effect(nullptr, row.programs, 1);
        EXPECT_EQ(effect.dispatch(effSetProgram, 0, row.value), 0);
        const bool accepted = row.value >= 0 && row.value < row.programs;
        EXPECT_EQ(effect.calls, accepted ? Calls{"setProgram " + std::to_string(row.value)} : Calls{})
            << row.programs << " programs, value " << row.value;
        EXPECT_EQ(effect.dispatch(effGetProgram), row.current);
    }
}

TEST(EffectCoreDispatcher, MeterIsScaledAndTruncatedAndSaturated)
{
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
        // Just below and just above the largest product an integer holds.
        {65538.0f, 2147483646},
        {65539.0f, INT32_MAX},
        {-65538.0f, -2147483646},
        {-65539.0f, INT32_MIN},
        {std::numeric_limits<float>::infinity(), INT32_MAX},
        {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    ProbeEffect effect;
    for (const Row& row : rows) {
        effect.vu = row.vu;
        EXPECT_EQ(effect.dispatch(effGetVu), row.expected) << "vu " << row.vu;
    }
}

TEST(EffectCoreDispatcher, ChunkFlagComesFromTheIndex)
{
    ProbeEffect effect;
    void* data = &effect;
    for (int32_t index : {0, 7, -7}) {
        EXPECT_EQ(effect.dispatch(effGetChunk, index, 0, &data), 0);
    }
    EXPECT_EQ(data, &effect); // the default leaves the pointer alone
    char bytes[4] = {};
    EXPECT_EQ(effect.dispatch(effSetChunk, -3, 4, bytes), 17);
    EXPECT_EQ(effect.dispatch(effSetChunk, 0, 9, bytes), 17);
    EXPECT_EQ(effect.chunkSeen, bytes);
    EXPECT_EQ(effect.calls,
              (Calls{"getChunk bank", "getChunk preset", "getChunk preset", "setChunk 4 preset", "setChunk 9 bank"}));
}

TEST(EffectCoreDispatcher, SetupMainsIdentityAndTextOperations)
{
    ProbeEffect effect;
    EXPECT_EQ(effect.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(effect.dispatch(effSetBlockSize, 0, 256), 0);
    EXPECT_EQ(std::tuple(effect.getSampleRate(), effect.getBlockSize()), std::tuple(48000.0f, 256));
    EXPECT_EQ(effect.dispatch(effIdentify, 5, 6, &effect, 1.0f), 0x4E764566);
    effect.dispatch(effOpen);
    EXPECT_EQ(effect.calls, Calls{"open"});
    // Mains off suspends; any other value resumes.
    for (intptr_t value : {0, 1, 2, -1}) {
        effect.calls.clear();
        EXPECT_EQ(effect.dispatch(effMainsChanged, 0, value), 0);
        EXPECT_EQ(effect.calls, Calls{value == 0 ? "suspend" : "resume"}) << value;
    }
    // The default texts are empty: only the first byte is written, and a null buffer is left alone.
    for (int32_t opcode :
         {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        char text[8] = "xyz";
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, text), 0);
        EXPECT_EQ(std::string(text, 3), std::string("\0yz", 3)) << "opcode " << opcode;
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, nullptr), 0);
    }
}

TEST(EffectCoreEditor, OperationsReachTheEditorOnlyWhenOneIsRegistered)
{
    ProbeEffect effect;
    ERect sentinel{};
    ERect* rect = &sentinel;
    EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, &sentinel);
    EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, &sentinel), 0);
    EXPECT_EQ(effect.dispatch(effEditClose), 0);
    EXPECT_EQ(effect.dispatch(effEditIdle), 0);

    auto* editor = new ProbeEditor(effect);
    effect.setEditor(editor);
    EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect), 7);
    EXPECT_EQ(rect, &editor->rectangle);
    int parent = 0;
    EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, &parent), 5);
    EXPECT_EQ(editor->openedWith, &parent);
    EXPECT_EQ(effect.dispatch(effEditIdle), 0);
    EXPECT_EQ(effect.dispatch(effEditClose), 0);
    EXPECT_EQ(std::tuple(editor->idles, editor->closes), std::tuple(1, 1));

    // The inert editor operations and every number outside 0 to 24 answer 0 and reach nothing.
    editor->openedWith = nullptr;
    for (int32_t opcode : {int32_t{effEditDraw}, int32_t{effEditMouse}, int32_t{effEditKey}, int32_t{effEditTop},
                           int32_t{effEditSleep}, 25, 58, 100, -1, INT32_MIN, INT32_MAX}) {
        char text[4] = "abc";
        EXPECT_EQ(effect.dispatch(opcode, 1, 1, text, 1.0f), 0) << "opcode " << opcode;
        EXPECT_STREQ(text, "abc");
    }
    EXPECT_TRUE(effect.calls.empty());
    EXPECT_EQ(std::tuple(editor->idles, editor->closes, editor->openedWith), std::tuple(1, 1, nullptr));
}

TEST(EffectCoreRecord, CloseAnswersOneAndDestroysTheEffectAndItsEditor)
{
    const int destroyedBefore = ProbeEditor::destroyed;
    auto* effect = new ProbeEffect;
    effect->setEditor(new ProbeEditor(*effect));
    AEffect* record = effect->getAeffect();
    EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(ProbeEditor::destroyed, destroyedBefore + 1);
}

TEST(EffectCoreSetters, EachFlagSetterTouchesOneBit)
{
    const struct {
        void (EffectCore::*setter)(bool);
        int32_t bit;
    } rows[] = {
        {&EffectCore::setHasVu, effFlagsHasVu},
        {&EffectCore::setHasClip, effFlagsHasClip},
        {&EffectCore::setCanSingleChannel, effFlagsCanSingleChannel},
        {&EffectCore::setCanReplacing, effFlagsCanReplacing},
        {&EffectCore::setProgramsAreChunks, effFlagsProgramChunks},
    };
    for (const auto& row : rows) {
        for (int32_t before : {0, ~0}) {
            ProbeEffect effect;
            effect.getAeffect()->flags = before;
            (effect.*row.setter)(true);
            EXPECT_EQ(effect.getAeffect()->flags, before | row.bit);
            (effect.*row.setter)(false);
            EXPECT_EQ(effect.getAeffect()->flags, before & ~row.bit);
        }
    }
    // Registering an editor sets only its bit; unregistering clears it and leaves the editor alone.
    ProbeEffect effect;
    ProbeEditor editor(effect);
    const int destroyedBefore = ProbeEditor::destroyed;
    effect.setHasClip(true);
    effect.setEditor(&editor);
    EXPECT_EQ(effect.getAeffect()->flags, effFlagsHasEditor | effFlagsHasClip);
    effect.setEditor(nullptr);
    EXPECT_EQ(effect.getAeffect()->flags, effFlagsHasClip);
    EXPECT_EQ(effect.getEditor(), nullptr);
    EXPECT_EQ(ProbeEditor::destroyed, destroyedBefore);
}

// An effect created the way a module's entry creates one, so that the recording host knows its record.
struct HostedProbe {
    static AEffect* create(audioMasterCallback host) { return (new ProbeEffect(host))->getAeffect(); }

    RecordingHost host;
    AEffect* record = host.callEntry(create);
    std::unique_ptr<ProbeEffect> owner{static_cast<ProbeEffect*>(static_cast<EffectCore*>(record->object))};
    ProbeEffect& effect = *owner;
};

auto sent(const HostCall& c)
{
    return std::tuple(c.effect, c.opcode, c.index, c.value, c.ptr, c.opt);
}

TEST(EffectCoreHostCalls, EachWrapperSendsItsArgumentsAndConvertsTheAnswer)
{
    struct Row {
        intptr_t (*invoke)(ProbeEffect&);
        HostOpcode opcode;
        int32_t index;
        intptr_t value, answer, result, alone; // alone: the result without a host callback
    };
    auto version = [](ProbeEffect& e) -> intptr_t { return e.hostVersion(); };
    auto input = [](ProbeEffect& e) -> intptr_t { return e.hostIsInputConnected(3); };
    auto output = [](ProbeEffect& e) -> intptr_t { return e.hostIsOutputConnected(3); };
    const Row rows[] = {
        {version, audioMasterVersion, 0, 0, 0, 1, 1},
        {version, audioMasterVersion, 0, 0, 2300, 2300, 1},
        {version, audioMasterVersion, 0, 0, -5, -5, 1},
        {[](ProbeEffect& e) -> intptr_t { return e.hostCurrentId(); }, audioMasterCurrentId, 0, 0, 77, 77, 0},
        {[](ProbeEffect& e) -> intptr_t {
             e.hostIdle();
             return 0;
         },
         audioMasterIdle, 0, 0, 9, 0, 0},
        // Both connection queries answer true exactly when the host answers 0.
        {input, audioMasterPinConnected, 3, 0, 0, 1, 1},
        {input, audioMasterPinConnected, 3, 0, 1, 0, 1},
        {output, audioMasterPinConnected, 3, 1, 0, 1, 1},
        {output, audioMasterPinConnected, 3, 1, 1, 0, 1},
        {output, audioMasterPinConnected, 3, 1, -1, 0, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("host opcode " + std::to_string(row.opcode) + ", answer " + std::to_string(row.answer));
        HostedProbe probe;
        probe.host.setAnswer(row.opcode, row.answer);
        EXPECT_EQ(row.invoke(probe.effect), row.result);
        ASSERT_EQ(probe.host.calls().size(), 1u);
        EXPECT_EQ(sent(probe.host.calls()[0]),
                  std::tuple(probe.record, row.opcode, row.index, row.value, nullptr, 0.0f));
        ProbeEffect unhosted;
        EXPECT_EQ(row.invoke(unhosted), row.alone);
    }
}

TEST(EffectCoreHostCalls, AutomationStoresFirstThenTellsTheHost)
{
    HostedProbe probe;
    size_t callsSeenByHost = 0;
    probe.host.setAnswer(audioMasterAutomate, [&](const HostCall&) {
        callsSeenByHost = probe.effect.calls.size();
        return intptr_t{0};
    });
    probe.effect.setParameterAutomated(2, 0.25f);
    EXPECT_EQ(probe.effect.calls, Calls{"setParameter 2 0.250000"});
    EXPECT_EQ(callsSeenByHost, 1u);
    ASSERT_EQ(probe.host.calls().size(), 1u);
    EXPECT_EQ(sent(probe.host.calls()[0]), std::tuple(probe.record, audioMasterAutomate, 2, 0, nullptr, 0.25f));

    ProbeEffect unhosted;
    unhosted.setParameterAutomated(2, 0.5f);
    EXPECT_EQ(unhosted.calls, Calls{"setParameter 2 0.500000"});
}

} // namespace

} // namespace vela
