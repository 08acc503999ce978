// SPDX-License-Identifier: MIT
// The built Vela module, loaded and driven exactly as a host drives it.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "frame/aeffect.h"
#include "frame/erect.h"
#include "frame/opcodes.h"
#include "frame/vst_pin_properties.h"
#include "host/editor_window.h"
#include "host/hosted_effect.h"
#include "host/plugin_module.h"
#include "host/recording_host.h"
#include "tests/support/sheet_faces.h"
#include "tests/support/test_display.h"

namespace vela {

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
    EXPECT_EQ(shown.width, kFaceWidth);
    EXPECT_EQ(shown.height, kFaceHeight);
    std::vector<uint32_t> pixels;
    for (std::size_t i = 0; i + 2 < shown.rgb.size(); i += 3) {
        pixels.push_back(static_cast<uint32_t>(shown.rgb[i] << 16 | shown.rgb[i + 1] << 8 | shown.rgb[i + 2]));
    }
    return pixels;
}

void expectCall(const HostCall& call, AEffect* effect, HostOpcode opcode, float opt = 0.0f)
{
    EXPECT_EQ(call.effect, effect);
    EXPECT_EQ(call.opcode, opcode);
    EXPECT_EQ(call.index, 0);
    EXPECT_EQ(call.value, 0);
    EXPECT_EQ(call.ptr, nullptr);
    EXPECT_EQ(call.opt, opt);
}

TEST(VelaModule, ExportsMainWhichRefusesANullCallbackOrAHostWithoutVersion)
{
    EXPECT_EQ(velaModule()->entryName(), "main");
    EXPECT_EQ(velaModule()->entry()(nullptr), nullptr);
    auto host = std::make_shared<RecordingHost>();
    host->setAnswer(audioMasterVersion, 0);
    HostedEffect effect(velaModule(), host);
    EXPECT_EQ(effect.record(), nullptr);
    ASSERT_EQ(host->calls().size(), 1u);
    expectCall(host->calls()[0], nullptr, audioMasterVersion);
}

TEST(VelaModule, ConstructionReportsTheSwitchOnceWithTheReturnedRecord)
{
    for (intptr_t version : {intptr_t{1}, intptr_t{2}, intptr_t{2300}}) {
        SCOPED_TRACE(version);
        auto host = std::make_shared<RecordingHost>();
        host->setAnswer(audioMasterVersion, version);
        HostedEffect effect(velaModule(), host);
        ASSERT_NE(effect.record(), nullptr);
        const auto calls = host->calls();
        ASSERT_EQ(calls.size(), 2u);
        expectCall(calls[0], nullptr, audioMasterVersion);
        expectCall(calls[1], effect.record(), audioMasterAutomate, 0.0f);
    }
}

TEST(VelaModule, RecordHoldsTheFinishedEffectsFieldsAndInstancesAreIndependent)
{
    HostedEffect vela(velaModule());
    const AEffect& record = *vela.record();
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
    EXPECT_EQ(std::vector<intptr_t>(
                  {record.resvd1, record.resvd2, record.initialDelay, record.realQualities, record.offQualities}),
              std::vector<intptr_t>(5, 0));
    EXPECT_EQ(std::string(record.future, sizeof record.future), std::string(sizeof record.future, '\0'));
    EXPECT_TRUE(record.dispatcher && record.process && record.setParameter && record.getParameter &&
                record.processReplacing);
    EXPECT_EQ(vela.getParameter(0), 0.0f);

    HostedEffect second(velaModule());
    EXPECT_NE(second.record(), vela.record());
    EXPECT_NE(second.record()->object, record.object);
    second.setParameter(0, 1.0f);
    EXPECT_EQ(vela.getParameter(0), 0.0f);
    EXPECT_EQ(second.getParameter(0), 1.0f);
    EXPECT_EQ(vela.dispatchString(effGetParamDisplay), "OFF");
    EXPECT_EQ(second.dispatchString(effGetParamDisplay), "ON");
}

TEST(VelaModule, AnswersWhatAScannerReads)
{
    HostedEffect vela(velaModule());
    struct Row {
        EffectOpcode opcode;
        std::string text;
        intptr_t answer;
    };
    const Row rows[] = {
        {effGetEffectName, "Vela", 1},
        {effGetProductString, "Vela", 1},
        {effGetVendorString, "Ozmir v1.0", 1},
        {effGetProgramName, "Press me!" + std::string(14, ' '), 0},
        {effGetParamName, "Vela button (On/Off)  ", 0},
        {effGetParamLabel, std::string(12, ' '), 0},
        {effGetParamDisplay, "OFF", 0},
        {effGetVstVersion, "", 2},
        {effGetPlugCategory, "", 0},
        {effGetProgram, "", 0},
    };
    for (const Row& row : rows) {
        intptr_t answer = -7;
        EXPECT_EQ(vela.dispatchString(row.opcode, 0, 0, 0.0f, &answer), row.text) << "opcode " << row.opcode;
        EXPECT_EQ(answer, row.answer) << "opcode " << row.opcode;
    }
    const std::pair<const char*, intptr_t> words[] = {{"plugAsChannelInsert", 1}, {"plugAsSend", 1}, {"2in2out", -1}};
    for (const auto& [word, answer] : words) {
        EXPECT_EQ(vela.dispatch(effCanDo, 0, 0, const_cast<char*>(word)), answer) << word;
    }
    for (int32_t pin : {0, 1}) {
        VstPinProperties properties{};
        EXPECT_EQ(vela.dispatch(effGetOutputProperties, pin, 0, &properties), 1);
        EXPECT_EQ(std::string(properties.label), "VELA " + std::to_string(pin + 1));
        EXPECT_EQ(properties.flags, kVstPinIsActive | kVstPinIsStereo);
    }
    VstPinProperties properties{};
    EXPECT_EQ(vela.dispatch(effGetOutputProperties, 2, 0, &properties), 0);
    EXPECT_EQ(vela.dispatch(effGetInputProperties, 0, 0, &properties), 0);
}

TEST(VelaModule, ProcessesOnceSwitchedOn)
{
    HostedEffect vela(velaModule());
    float in[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    std::vector<float> out(4, 9.0f);
    float* inputs[2] = {in, in + 2};
    float* outputs[2] = {out.data(), out.data() + 2};
    vela.processReplacing(inputs, outputs, 2);
    EXPECT_EQ(out, std::vector<float>(4, 9.0f));

    vela.dispatch(effMainsChanged, 0, 1);
    vela.processReplacing(inputs, outputs, 2);
    EXPECT_EQ(out, (std::vector<float>{1.0f, 2.0f, 3.0f, 4.0f}));
    vela.setParameter(0, 1.0f);
    vela.process(inputs, outputs, 2);
    EXPECT_EQ(out, (std::vector<float>{3.0f, 5.0f, 5.0f, 7.0f}));
}

TEST(VelaModule, EditorShowsTheSwitchAClickFlipsItAndCloseAnswersOne)
{
    ASSERT_EQ(findOrStartTestDisplay(), "") << "no X display";
    HostedEffect vela(velaModule());
    ERect* rect = nullptr;
    ASSERT_EQ(vela.dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 256);
    EXPECT_EQ(rect->bottom - rect->top, 96);

    vela.host().clearCalls();
    {
        EditorWindow window(vela);
        window.pump(200);
        EXPECT_EQ(firstDifference(shownPixels(window), sheetFace(false)), "");
        window.click(128, 40);
        window.pump(200);
        EXPECT_EQ(firstDifference(shownPixels(window), sheetFace(true)), "");
    }
    EXPECT_FLOAT_EQ(vela.getParameter(0), 1.0f / 127.0f);
    EXPECT_EQ(vela.dispatchString(effGetParamDisplay), "ON");
    std::vector<HostCall> reports = vela.host().calls();
    std::erase_if(reports, [](const HostCall& call) { return call.opcode != audioMasterAutomate; });
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].index, 0);
    EXPECT_FLOAT_EQ(reports[0].opt, 1.0f / 127.0f);

    EXPECT_EQ(vela.close(), 1);
    EXPECT_EQ(vela.record(), nullptr);
}

} // namespace

} // namespace vela
