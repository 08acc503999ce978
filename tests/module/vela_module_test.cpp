// The built Vela module, loaded and driven exactly as a host drives it.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "editor/erect.h"
#include "frame/aeffect.h"
#include "frame/opcodes.h"
#include "frame/vst_pin_properties.h"
#include "host/editor_window.h"
#include "host/hosted_effect.h"
#include "host/plugin_module.h"
#include "host/recording_host.h"
#include "tests/support/sheet_faces.h"

#ifdef VELA_MODULE_PATH

namespace {

std::shared_ptr<PluginModule> velaModule()
{
    static const std::shared_ptr<PluginModule> module = PluginModule::load(VELA_MODULE_PATH);
    return module;
}

// What the window shows, as 0xRRGGBB pixels like the sheet's faces.
std::vector<uint32_t> shownPixels(EditorWindow& window)
{
    const EditorWindow::Image shown = window.capture();
    EXPECT_EQ(shown.width, faceWidth);
    EXPECT_EQ(shown.height, faceHeight);
    std::vector<uint32_t> pixels;
    for (size_t i = 0; i + 2 < shown.rgb.size(); i += 3) {
        pixels.push_back(static_cast<uint32_t>(shown.rgb[i] << 16 | shown.rgb[i + 1] << 8 | shown.rgb[i + 2]));
    }
    return pixels;
}

// A Vela effect created through main, with a host that answers version 2400.
struct Vela {
    Vela() : effect(velaModule()) {}
    AEffect& record() { return *effect.record(); }

    HostedEffect effect;
};

TEST(VelaModule, ExportsItsEntryAsMain)
{
    EXPECT_EQ(velaModule()->entryName(), "main");
}

TEST(VelaModule, RefusesANullHostCallback)
{
    EXPECT_EQ(velaModule()->entry()(nullptr), nullptr);
}

TEST(VelaModule, RefusesAHostThatAnswersNoVersion)
{
    auto host = std::make_shared<RecordingHost>();
    host->setAnswer(audioMasterVersion, 0);
    HostedEffect effect(velaModule(), host);
    EXPECT_EQ(effect.record(), nullptr);
    const auto calls = host->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].effect, nullptr);
    EXPECT_EQ(calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_EQ(calls[0].value, 0);
    EXPECT_EQ(calls[0].ptr, nullptr);
    EXPECT_EQ(calls[0].opt, 0.0f);
}

TEST(VelaModule, ConstructionReportsTheSwitchOnceWithTheReturnedRecord)
{
    for (intptr_t version : {intptr_t{1}, intptr_t{2}, intptr_t{2300}}) {
        auto host = std::make_shared<RecordingHost>();
        host->setAnswer(audioMasterVersion, version);
        HostedEffect effect(velaModule(), host);
        ASSERT_NE(effect.record(), nullptr) << "version " << version;
        const auto calls = host->calls();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].opcode, audioMasterVersion);
        EXPECT_EQ(calls[1].effect, effect.record());
        EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
        EXPECT_EQ(calls[1].index, 0);
        EXPECT_EQ(calls[1].value, 0);
        EXPECT_EQ(calls[1].ptr, nullptr);
        EXPECT_EQ(calls[1].opt, 0.0f);
    }
}

TEST(VelaModule, RecordHoldsTheFinishedEffectsFields)
{
    Vela vela;
    const AEffect& record = vela.record();
    EXPECT_EQ(record.magic, 0x56737450);
    EXPECT_EQ(record.numPrograms, 1);
    EXPECT_EQ(record.numParams, 1);
    EXPECT_EQ(record.numInputs, 2);
    EXPECT_EQ(record.numOutputs, 2);
    EXPECT_EQ(record.flags, effFlagsHasEditor | effFlagsCanSingleChannel | effFlagsCanReplacing);
    EXPECT_EQ(record.uniqueID, fourCharCode("VeLE"));
    EXPECT_EQ(record.version, 2);
    EXPECT_EQ(record.ioRatio, 2.0f);
    EXPECT_NE(record.object, nullptr);
    EXPECT_EQ(record.user, nullptr);
    EXPECT_EQ(record.resvd1, 0);
    EXPECT_EQ(record.resvd2, 0);
    EXPECT_EQ(record.initialDelay, 0);
    EXPECT_EQ(record.realQualities, 0);
    EXPECT_EQ(record.offQualities, 0);
    for (char byte : record.future) {
        EXPECT_EQ(byte, 0);
    }
    for (const void* function : {reinterpret_cast<const void*>(record.dispatcher), reinterpret_cast<const void*>(record.process),
                                 reinterpret_cast<const void*>(record.setParameter), reinterpret_cast<const void*>(record.getParameter),
                                 reinterpret_cast<const void*>(record.processReplacing)}) {
        EXPECT_NE(function, nullptr);
    }
    EXPECT_EQ(vela.effect.getParameter(0), 0.0f);
}

TEST(VelaModule, TwoInstancesAreIndependent)
{
    Vela first;
    Vela second;
    EXPECT_NE(first.effect.record(), second.effect.record());
    EXPECT_NE(first.record().object, second.record().object);
    second.effect.setParameter(0, 1.0f);
    EXPECT_EQ(first.effect.getParameter(0), 0.0f);
    EXPECT_EQ(second.effect.getParameter(0), 1.0f);
    EXPECT_EQ(first.effect.dispatchString(effGetParamDisplay), "OFF");
    EXPECT_EQ(second.effect.dispatchString(effGetParamDisplay), "ON");
}

TEST(VelaModule, AnswersWhatAScannerReads)
{
    Vela vela;
    struct Row {
        EffectOpcode opcode;
        int32_t index;
        std::string text;
        intptr_t answer;
    };
    const Row rows[] = {
        {effGetEffectName, 0, "Vela", 1},
        {effGetProductString, 0, "Vela", 1},
        {effGetVendorString, 0, "Ozmir v1.0", 1},
        {effGetProgramName, 0, "Press me!" + std::string(14, ' '), 0},
        {effGetParamName, 0, "Vela button (On/Off)  ", 0},
        {effGetParamLabel, 0, std::string(12, ' '), 0},
        {effGetParamDisplay, 0, "OFF", 0},
    };
    for (const Row& row : rows) {
        intptr_t answer = -7;
        EXPECT_EQ(vela.effect.dispatchString(row.opcode, row.index, 0, 0.0f, &answer), row.text) << "opcode " << row.opcode;
        EXPECT_EQ(answer, row.answer) << "opcode " << row.opcode;
    }
    EXPECT_EQ(vela.effect.dispatch(effGetVstVersion), 2);
    EXPECT_EQ(vela.effect.dispatch(effGetPlugCategory), 0);
    EXPECT_EQ(vela.effect.dispatch(effGetProgram), 0);
}

TEST(VelaModule, LabelsItsTwoOutputPins)
{
    Vela vela;
    for (int32_t pin : {0, 1}) {
        VstPinProperties properties{};
        EXPECT_EQ(vela.effect.dispatch(effGetOutputProperties, pin, 0, &properties), 1);
        EXPECT_EQ(std::string(properties.label), "VELA " + std::to_string(pin + 1));
        EXPECT_EQ(properties.flags, kVstPinIsActive | kVstPinIsStereo);
    }
    VstPinProperties untouched{};
    std::memset(&untouched, 0x5A, sizeof untouched);
    VstPinProperties third = untouched;
    EXPECT_EQ(vela.effect.dispatch(effGetOutputProperties, 2, 0, &third), 0);
    EXPECT_EQ(std::memcmp(&third, &untouched, sizeof third), 0);
    EXPECT_EQ(vela.effect.dispatch(effGetInputProperties, 0, 0, &third), 0);
}

TEST(VelaModule, AnswersCapabilityQueries)
{
    Vela vela;
    struct Row {
        const char* word;
        intptr_t answer;
    };
    for (const Row& row : {Row{"plugAsChannelInsert", 1}, Row{"plugAsSend", 1}, Row{"plugassend", -1}, Row{"", -1},
                           Row{"2in2out", -1}, Row{"receiveVstEvents", -1}}) {
        EXPECT_EQ(vela.effect.dispatch(effCanDo, 0, 0, const_cast<char*>(row.word)), row.answer) << row.word;
    }
}

TEST(VelaModule, ProcessesOnlyWhileSwitchedOn)
{
    Vela vela;
    float left[2] = {1.0f, 2.0f};
    float right[2] = {3.0f, 4.0f};
    float outLeft[2] = {9.0f, 9.0f};
    float outRight[2] = {9.0f, 9.0f};
    float* inputs[2] = {left, right};
    float* outputs[2] = {outLeft, outRight};

    vela.effect.processReplacing(inputs, outputs, 2);
    EXPECT_EQ(outLeft[0], 9.0f);
    EXPECT_EQ(outRight[1], 9.0f);

    vela.effect.dispatch(effMainsChanged, 0, 1);
    vela.effect.processReplacing(inputs, outputs, 2);
    EXPECT_EQ(std::vector<float>(outLeft, outLeft + 2), (std::vector<float>{1.0f, 2.0f}));
    EXPECT_EQ(std::vector<float>(outRight, outRight + 2), (std::vector<float>{3.0f, 4.0f}));

    vela.effect.setParameter(0, 1.0f);
    vela.effect.process(inputs, outputs, 2);
    EXPECT_EQ(std::vector<float>(outLeft, outLeft + 2), (std::vector<float>{3.0f, 5.0f}));
    EXPECT_EQ(std::vector<float>(outRight, outRight + 2), (std::vector<float>{5.0f, 7.0f}));

    vela.effect.dispatch(effMainsChanged, 0, 0);
    vela.effect.processReplacing(inputs, outputs, 2);
    EXPECT_EQ(outLeft[0], 3.0f);
}

TEST(VelaModule, EditorShowsTheSwitchAndAClickFlipsIt)
{
    Vela vela;
    ERect* rect = nullptr;
    ASSERT_EQ(vela.effect.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 256);
    EXPECT_EQ(rect->bottom - rect->top, 96);

    vela.effect.host().clearCalls();
    {
        EditorWindow window(vela.effect);
        window.pump(200);
        EXPECT_EQ(firstDifference(shownPixels(window), sheetFace(false)), "");
        window.click(128, 40);
        window.pump(200);
        EXPECT_EQ(firstDifference(shownPixels(window), sheetFace(true)), "");
    }
    EXPECT_FLOAT_EQ(vela.effect.getParameter(0), 1.0f / 127.0f);
    EXPECT_EQ(vela.effect.dispatchString(effGetParamDisplay), "ON");
    std::vector<HostCall> reports;
    for (const HostCall& call : vela.effect.host().calls()) {
        if (call.opcode == audioMasterAutomate) {
            reports.push_back(call);
        }
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].index, 0);
    EXPECT_FLOAT_EQ(reports[0].opt, 1.0f / 127.0f);
}

TEST(VelaModule, CloseAnswersOne)
{
    Vela vela;
    EXPECT_EQ(vela.effect.close(), 1);
    EXPECT_EQ(vela.effect.record(), nullptr);
}

} // namespace

#endif
