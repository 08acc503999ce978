// SPDX-License-Identifier: MIT
// vela-host check: conforming modules pass, and faulty ones fail the right checks without
// taking the run down.

#include <gtest/gtest.h>

#include <cctype>

#include "cli_support.h"

namespace vela {

namespace {

const std::vector<std::string> kCheckNames{"loads", "record", "opcodes", "silence", "parameters", "editor", "close"};

// The verdict printed for each check, in order.
std::vector<std::string> verdicts(const std::string& out)
{
    std::vector<std::string> found;
    for (const std::string& name : kCheckNames) {
        const bool passed = contains(out, "PASS " + name + " ");
        const bool failed = contains(out, "FAIL " + name + " ");
        found.push_back(passed == failed ? "missing" : passed ? "PASS" : "FAIL");
    }
    return found;
}

class CheckPasses : public testing::TestWithParam<std::string> {};

TEST_P(CheckPasses, EveryCheckAndTheExitStatus)
{
    if (!installed(GetParam())) {
        GTEST_SKIP() << GetParam() << " is not installed";
    }
    const ToolRun run = runTool({"check", GetParam()});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(verdicts(run.out), std::vector<std::string>(kCheckNames.size(), "PASS")) << run.out;
    EXPECT_TRUE(contains(run.out, "\n7 passed, 0 failed\n")) << run.out;
}

std::vector<std::string> conformingModules()
{
    std::vector<std::string> modules{"/usr/lib/vst/3BandEQ-vst.so", "/usr/lib/vst/ZamComp-vst.so",
                                     "/usr/lib/vst/MaBitcrush-vst.so"};
    modules.push_back(VELA_MODULE_PATH);
    return modules;
}

INSTANTIATE_TEST_SUITE_P(Modules, CheckPasses, testing::ValuesIn(conformingModules()), [](const auto& info) {
    const std::string name = info.param.substr(info.param.rfind('/') + 1);
    std::string plain;
    for (const char c : name.substr(0, name.find('.'))) {
        plain += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return plain;
});

TEST(CheckFails, ACrashAndNonsenseOutputFailTheirChecksAndTheRunGoesOn)
{
    const ToolRun run = runTool({"check", FAULTY_MODULE_PATH});
    EXPECT_EQ(run.status, 1);
    // The module has no main, so the host falls back to its other entry name.
    EXPECT_TRUE(contains(run.out, "PASS loads      exports VSTPluginMain\n")) << run.out;
    EXPECT_EQ(verdicts(run.out), (std::vector<std::string>{"PASS", "PASS", "FAIL", "FAIL", "FAIL", "PASS", "PASS"}))
        << run.out;
    // A sanitizer build reports the crash itself and ends the process with a status instead.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    EXPECT_TRUE(contains(run.out, "FAIL opcodes    ended without a result")) << run.out;
#else
    EXPECT_TRUE(contains(run.out, "FAIL opcodes    crashed (signal 11, ")) << run.out;
#endif
    EXPECT_TRUE(contains(run.out, " during opcode 49\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "FAIL silence    output 1 holds nan in block 0")) << run.out;
    EXPECT_TRUE(contains(run.out, "parameter 0 set to 0.000000 reads 0.500000")) << run.out;
    EXPECT_TRUE(contains(run.out, "\n4 passed, 3 failed\n")) << run.out;
}

TEST(CheckFails, AModuleThatForgetsItsParameters)
{
    const ToolRun run = runTool({"check", FRAME_TEST_MODULE_PATH});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(verdicts(run.out)[4], "FAIL") << run.out;
    EXPECT_TRUE(contains(run.out, "; and 2 more")) << run.out;
}

TEST(CheckFails, AFileThatDoesNotLoadStopsTheRestFromRunning)
{
    const ScratchFolder folder;
    const ToolRun run = runTool({"check", folder.path("missing.so")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(verdicts(run.out)[0], "FAIL") << run.out;
    EXPECT_TRUE(contains(run.out, "FAIL close      not run: loads failed")) << run.out;
    EXPECT_TRUE(contains(run.out, "\n0 passed, 7 failed\n")) << run.out;
}

} // namespace

} // namespace vela
