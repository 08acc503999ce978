// SPDX-License-Identifier: MIT
// vela-host info: what it prints agrees with what the host library reads from the same module.

#include <gtest/gtest.h>

#include <filesystem>

#include "cli_support.h"
#include "frame/aeffect.h"
#include "frame/opcodes.h"
#include "host/hosted_effect.h"
#include "host/plugin_module.h"

namespace vela {

namespace {

struct InfoModule {
    const char* name;
    std::string path;
};

std::vector<InfoModule> infoModules()
{
    std::vector<InfoModule> modules{
        {"ThreeBandEQ", "/usr/lib/vst/3BandEQ-vst.so"},
        {"ZamComp", "/usr/lib/vst/ZamComp-vst.so"},
        {"MaBitcrush", "/usr/lib/vst/MaBitcrush-vst.so"},
        {"FrameTestModule", FRAME_TEST_MODULE_PATH},
    };
    modules.push_back({"Vela", VELA_MODULE_PATH});
    return modules;
}

std::string fourCharacters(int32_t code)
{
    const auto bits = static_cast<uint32_t>(code);
    return {static_cast<char>(bits >> 24), static_cast<char>(bits >> 16), static_cast<char>(bits >> 8),
            static_cast<char>(bits)};
}

class InfoOnModules : public testing::TestWithParam<InfoModule> {
protected:
    void SetUp() override
    {
        if (!installed(GetParam().path)) {
            GTEST_SKIP() << GetParam().path << " is not installed";
        }
    }
};

TEST_P(InfoOnModules, JsonAgreesWithTheHostLibrary)
{
    const ToolRun run = runTool({"info", GetParam().path, "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    auto json = flattenJson(run.out);

    HostedEffect effect(PluginModule::load(GetParam().path));
    ASSERT_NE(effect.record(), nullptr);
    effect.dispatch(effOpen);
    const AEffect& record = *effect.record();
    EXPECT_EQ(json["record.magic"], "VstP");
    EXPECT_EQ(json["record.numInputs"], std::to_string(record.numInputs));
    EXPECT_EQ(json["record.numOutputs"], std::to_string(record.numOutputs));
    EXPECT_EQ(json["record.numParams"], std::to_string(record.numParams));
    EXPECT_EQ(json["record.numPrograms"], std::to_string(record.numPrograms));
    EXPECT_EQ(json["record.flags"], std::to_string(record.flags));
    EXPECT_EQ(json["record.uniqueID"], fourCharacters(record.uniqueID));
    EXPECT_EQ(json["effectName"], effect.dispatchString(effGetEffectName));
    EXPECT_EQ(json["vendorString"], effect.dispatchString(effGetVendorString));
    EXPECT_EQ(json["productString"], effect.dispatchString(effGetProductString));
    for (int32_t index = 0; index < record.numParams; ++index) {
        const std::string prefix = "parameters." + std::to_string(index) + ".";
        EXPECT_EQ(json[prefix + "name"], effect.dispatchString(effGetParamName, index));
        EXPECT_EQ(json[prefix + "display"], effect.dispatchString(effGetParamDisplay, index));
    }
    for (const char* word : {"sendVstEvents", "receiveVstMidiEvent", "offline", "2in2out", "8in8out"}) {
        std::string text = word;
        EXPECT_EQ(json["canDo." + text], std::to_string(effect.dispatch(effCanDo, 0, 0, text.data())));
    }
    EXPECT_EQ(json["editor.present"], (record.flags & effFlagsHasEditor) ? "True" : "False");
}

TEST_P(InfoOnModules, TextShowsTheRecordLineByLine)
{
    const ToolRun run = runTool({"info", GetParam().path});
    ASSERT_EQ(run.status, 0) << run.err;
    HostedEffect effect(PluginModule::load(GetParam().path));
    ASSERT_NE(effect.record(), nullptr);
    EXPECT_NE(run.out.find("\n  numParams: " + std::to_string(effect.record()->numParams) + "\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n  uniqueID: " + fourCharacters(effect.record()->uniqueID) + "\n"), std::string::npos)
        << run.out;
}

INSTANTIATE_TEST_SUITE_P(Modules, InfoOnModules, testing::ValuesIn(infoModules()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InfoOnVela, ShowsTheIdentityAndTheEditorAHostSees)
{
    const ToolRun run = runTool({"info", VELA_MODULE_PATH, "--json"});
    ASSERT_EQ(run.status, 0) << run.err;
    auto json = flattenJson(run.out);
    EXPECT_EQ(json["record.uniqueID"], "VeLE");
    EXPECT_EQ(json["record.flagNames.0"], "effFlagsHasEditor");
    EXPECT_EQ(json["effectName"], "Vela");
    EXPECT_EQ(json["vendorString"], "Ozmir v1.0");
    EXPECT_EQ(json["parameters.0.display"], "OFF");
    EXPECT_EQ(json["parameters.0.value"], "0");
    EXPECT_EQ(json["programs.0.name"], "Press me!" + std::string(14, ' '));
    EXPECT_EQ(json["outputs.1.label"], "VELA 2");
    EXPECT_EQ(json["outputs.1.flagNames.1"], "stereo");
    EXPECT_EQ(json["inputs.0.answer"], "0");
    EXPECT_EQ(json["canDo.plugAsSend"], "1");
    EXPECT_EQ(json["canDo.2in2out"], "-1");
    EXPECT_EQ(json["editor.width"], "256");
    EXPECT_EQ(json["editor.height"], "96");
}

TEST(InfoOnVela, TextQuotesNamesWhoseBlanksWouldVanish)
{
    const ToolRun run = runTool({"info", VELA_MODULE_PATH});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("name: \"Vela button (On/Off)  \""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("label: VELA 1, flags: 3, flagNames: active|stereo"), std::string::npos) << run.out;
}

// As for any file a user names: without a folder, the one the tool runs in.
TEST(InfoOnVela, ReadsAModuleNamedWithoutAFolderFromTheWorkingFolder)
{
    const std::filesystem::path module(VELA_MODULE_PATH);
    const ToolRun run = runTool({"info", module.filename().string()}, "cd '" + module.parent_path().string() + "' &&");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("uniqueID: VeLE"), std::string::npos) << run.out;
}

} // namespace

} // namespace vela
