// SPDX-License-Identifier: MIT
// vela-host check: Vela and packaged plug-ins pass, each deliberately faulty module fails
// exactly the check meant for its fault, and the runner's options do what they say.

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <regex>
#include <sstream>

#include "cli_support.h"

namespace vela {

namespace {

const std::vector<std::string> kCheckNames{"loads",      "record",      "exports", "scan-time", "opcodes", "silence",
                                           "parameters", "process",     "suspend", "programs",  "state",   "threads",
                                           "realtime",   "large-block", "editor",  "close"};

// The verdict printed for each check that printed one: PASS, WARN, FAIL or SKIP.
std::map<std::string, std::string> verdicts(const std::string& out)
{
    std::map<std::string, std::string> found;
    std::istringstream lines(out);
    const std::regex verdictLine("(PASS|WARN|FAIL|SKIP) (\\S+) .*");
    std::smatch match;
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_match(line, match, verdictLine)) {
            found[match[2]] = match[1];
        }
    }
    return found;
}

std::vector<std::string> checksWith(const std::string& out, const std::string& verdict)
{
    std::vector<std::string> names;
    for (const auto& [name, found] : verdicts(out)) {
        if (found == verdict) {
            names.push_back(name);
        }
    }
    return names;
}

std::string faultModule(const std::string& fault)
{
    return std::string(FAULT_MODULE_FOLDER) + "/fault_" + fault + ".so";
}

std::string plainName(const std::string& path)
{
    const std::string name = path.substr(path.rfind('/') + 1);
    std::string plain;
    for (const char c : name.substr(0, name.find('.'))) {
        plain += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return plain;
}

TEST(CheckVela, PassesEveryCheckAtTheHighestStrictness)
{
    const ToolRun run = runTool({"check", VELA_MODULE_PATH, "--strictness", "10", "--seed", "1"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(checksWith(run.out, "PASS").size(), kCheckNames.size()) << run.out;
    EXPECT_TRUE(contains(run.out, "\n16 passed, 0 failed, 0 skipped, 0 warnings; seed 1\n")) << run.out;
}

TEST(CheckFault, TheModuleWithoutFaultsPassesEveryCheck)
{
    const ToolRun run = runTool({"check", faultModule("none"), "--seed", "7"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(checksWith(run.out, "PASS").size(), kCheckNames.size()) << run.out;
}

TEST(CheckFault, ExportsNamesTheEntryAndTheLibrariesFromTheFileItself)
{
    const ToolRun run = runTool({"check", faultModule("none"), "--only", "exports"});
    EXPECT_EQ(run.status, 0) << run.out;
    // The module exports VSTPluginMain alone and links Xlib for its editor.
    EXPECT_TRUE(contains(run.out, "PASS exports     loads with every symbol bound; exports VSTPluginMain; needs "))
        << run.out;
    EXPECT_TRUE(contains(run.out, "libX11.so.6")) << run.out;
}

struct FaultCase {
    const char* fault;
    const char* check;
    // FAIL, or WARN for the checks that only ever warn.
    const char* verdict;
    // What the report says.
    const char* found;
};

class CheckFindsFault : public testing::TestWithParam<FaultCase> {};

// Every other check passes or, when there is nothing for it to run on, is skipped.
TEST_P(CheckFindsFault, FailsExactlyTheCheckMeantForIt)
{
    const FaultCase& fault = GetParam();
    const ToolRun run = runTool({"check", faultModule(fault.fault), "--seed", "7"});
    const bool fails = std::string(fault.verdict) == "FAIL";
    EXPECT_EQ(run.status, fails ? 1 : 0) << run.out << run.err;
    std::map<std::string, std::string> expected;
    for (const std::string& name : kCheckNames) {
        expected[name] = name == fault.check ? fault.verdict : "PASS";
    }
    std::map<std::string, std::string> found = verdicts(run.out);
    for (auto& [name, verdict] : found) {
        verdict = verdict == "SKIP" && expected[name] == "PASS" ? "PASS" : verdict;
    }
    EXPECT_EQ(found, expected) << run.out;
    EXPECT_TRUE(contains(run.out, fault.found)) << run.out;
    if (fails && std::string(fault.check) != "loads" && std::string(fault.check) != "record") {
        EXPECT_TRUE(contains(run.out, std::string(" --only ") + fault.check + " --seed 7 ")) << run.out;
    }
}

const FaultCase kFaultCases[] = {
    {"noentry", "loads", "FAIL", "exports neither main nor VSTPluginMain"},
    {"replacing", "record", "FAIL", "processReplacing without effFlagsCanReplacing, and no process"},
    {"unresolved", "exports", "FAIL", "undefined symbol: velaOfflineRender"},
    {"slow", "scan-time", "WARN", "(budget 1000 ms)"},
    {"opcode", "opcodes", "FAIL", " during opcode 49\n"},
    {"denormal", "silence", "FAIL", "normal output for silence in; got a denormal at output 1"},
    {"parameter", "parameters", "FAIL", "parameter 1 set to"},
    {"nan", "process", "FAIL", "got nan at output 1, frame 0 at 22050 Hz"},
    {"random", "process", "FAIL", "(not deterministic)"},
    {"suspend", "suspend", "FAIL", "after resuming at 96000 Hz, blocks of 256; got nan"},
    {"programs", "programs", "FAIL", "program 0's name has no terminator in 256 bytes"},
    {"chunk", "state", "FAIL", " during effSetChunk of "},
    {"restore", "state", "FAIL", "after restoring the chunk into a fresh effect; got 0.250000"},
    {"torn", "threads", "FAIL", "expected finite, normal output while another thread sets parameters; got "},
    {"allocates", "realtime", "FAIL", "allocations, 0 locks, 0 system calls"},
#if defined(__SANITIZE_THREAD__)
    // A race shows only in the ThreadSanitizer build, which answers the locking and system
    // functions itself and so counts allocations alone.
    {"race", "threads", "FAIL", "ThreadSanitizer reported"},
#else
    {"locks", "realtime", "FAIL",
     "0 allocations, 131 locks, 0 system calls in 131 blocks of 512 (first: pthread_mutex_lock)"},
    {"syscall", "realtime", "FAIL", "0 allocations, 0 locks, 131 system calls in 131 blocks of 512 (first: fwrite)"},
#endif
    {"bigblock", "large-block", "WARN", "gave nan at output 1, frame 512"},
    {"window", "editor", "FAIL", "no window left in the host's window after effEditClose at rest; got 1"},
    {"locale", "editor", "FAIL", "expected the process locale to stay"},
    {"pixmap", "editor", "FAIL", " PIXMAP"},
    {"late", "close", "FAIL", "host calls arrived after effClose"},
};

INSTANTIATE_TEST_SUITE_P(Faults, CheckFindsFault, testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.fault); });

class CheckPackaged : public testing::TestWithParam<std::string> {};

TEST_P(CheckPackaged, NothingFailsAndWarningsDoNotFailTheRun)
{
    if (!installed(GetParam())) {
        GTEST_SKIP() << GetParam() << " is not installed";
    }
    const ToolRun run = runTool({"check", GetParam(), "--strictness", "3", "--seed", "1"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(checksWith(run.out, "FAIL").empty()) << run.out;
    EXPECT_EQ(verdicts(run.out).size(), 12u) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Modules, CheckPackaged,
                         testing::Values("/usr/lib/vst/ZamComp-vst.so", "/usr/lib/vst/3BandEQ-vst.so"),
                         [](const auto& info) { return plainName(info.param); });

TEST(CheckFails, ACrashAndNonsenseOutputFailTheirChecksAndTheRunGoesOn)
{
    const ToolRun run =
        runTool({"check", FAULTY_MODULE_PATH, "--only", "loads,record,opcodes,silence,parameters,editor,close"});
    EXPECT_EQ(run.status, 1);
    // The module has no main, so the host falls back to its other entry name.
    EXPECT_TRUE(contains(run.out, "PASS loads       exports VSTPluginMain\n")) << run.out;
    EXPECT_EQ(checksWith(run.out, "FAIL"), (std::vector<std::string>{"opcodes", "parameters", "silence"})) << run.out;
    EXPECT_EQ(checksWith(run.out, "PASS"), (std::vector<std::string>{"close", "loads", "record"})) << run.out;
    // It has no editor: nothing to check there, and not a pass.
    EXPECT_EQ(checksWith(run.out, "SKIP"), std::vector<std::string>{"editor"}) << run.out;
    // A sanitizer build reports the crash itself and ends the process with a status instead.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    EXPECT_TRUE(contains(run.out, "FAIL opcodes     ended without a result")) << run.out;
#else
    EXPECT_TRUE(contains(run.out, "FAIL opcodes     crashed (signal 11, ")) << run.out;
#endif
    EXPECT_TRUE(contains(run.out, " during opcode 49\n")) << run.out;
    EXPECT_TRUE(
        contains(run.out, "FAIL silence     expected finite, normal output for silence in; got nan at output 1"))
        << run.out;
    EXPECT_TRUE(contains(run.out, "parameter 0 set to 0.000000 reads 0.500000")) << run.out;
    EXPECT_TRUE(contains(run.out, "\n3 passed, 3 failed, 1 skipped, 0 warnings; seed ")) << run.out;
}

TEST(CheckFails, AModuleThatForgetsItsParameters)
{
    const ToolRun run = runTool({"check", FRAME_TEST_MODULE_PATH, "--only", "parameters"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(checksWith(run.out, "FAIL"), std::vector<std::string>{"parameters"}) << run.out;
    EXPECT_TRUE(contains(run.out, "; and 2 more")) << run.out;
}

TEST(CheckFails, AFileThatDoesNotLoadStopsTheRestFromRunning)
{
    const ScratchFolder folder;
    const ToolRun run = runTool({"check", folder.path("missing.so"), "--strictness", "10"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(checksWith(run.out, "FAIL"), std::vector<std::string>{"loads"}) << run.out;
    EXPECT_EQ(checksWith(run.out, "SKIP").size(), kCheckNames.size() - 1) << run.out;
    EXPECT_TRUE(contains(run.out, "SKIP close       not run: loads failed")) << run.out;
    EXPECT_TRUE(contains(run.out, "\n0 passed, 1 failed, 15 skipped, 0 warnings; seed ")) << run.out;
}

TEST(CheckRunner, AFailureCarriesTheSeedAndStepThatReplayIt)
{
    const ToolRun first = runTool({"check", faultModule("random"), "--only", "loads,process"});
    ASSERT_EQ(first.status, 1) << first.out;
    std::smatch replay;
    ASSERT_TRUE(std::regex_search(first.out, replay,
                                  std::regex("replay: vela-host check \\S+ --only process --seed "
                                             "(\\d+) --strictness 5 \\(step: [^)]+\\)")))
        << first.out;
    std::smatch seed;
    ASSERT_TRUE(std::regex_search(first.out, seed, std::regex("^checking \\S+ at strictness 5, seed (\\d+)\n")));
    EXPECT_EQ(replay[1], seed[1]);

    const ToolRun again = runTool({"check", faultModule("random"), "--only", "process", "--seed", replay[1]});
    EXPECT_EQ(again.status, 1);
    const auto failLine = [](const std::string& out) { return out.substr(out.find("FAIL process")).substr(0, 60); };
    EXPECT_EQ(failLine(again.out), failLine(first.out)) << first.out << again.out;
}

TEST(CheckRunner, OnlyRepeatAndSkipGuiChooseWhatRuns)
{
    const ToolRun repeated =
        runTool({"check", VELA_MODULE_PATH, "--only", "silence,close", "--repeat", "2", "--seed", "5"});
    EXPECT_EQ(repeated.status, 0) << repeated.out;
    EXPECT_TRUE(contains(repeated.out, "run 1 of 2, seed 5\nPASS silence ")) << repeated.out;
    EXPECT_TRUE(contains(repeated.out, "run 2 of 2, seed 6\nPASS silence ")) << repeated.out;
    EXPECT_EQ(verdicts(repeated.out).size(), 2u) << repeated.out;
    EXPECT_TRUE(contains(repeated.out, "\n4 passed, 0 failed, 0 skipped, 0 warnings; seed 5, 14 checks left out\n"))
        << repeated.out;

    // Without windows, the leaking editor is never opened.
    const ToolRun withoutGui = runTool({"check", faultModule("window"), "--skip-gui", "--strictness", "1"});
    EXPECT_EQ(withoutGui.status, 0) << withoutGui.out;
    EXPECT_FALSE(verdicts(withoutGui.out).contains("editor")) << withoutGui.out;
    EXPECT_FALSE(verdicts(withoutGui.out).contains("process")) << withoutGui.out;
    EXPECT_TRUE(verdicts(withoutGui.out).contains("opcodes")) << withoutGui.out;
}

TEST(CheckRunner, JsonAndJunitCarryTheVerdicts)
{
    const ScratchFolder folder;
    // The record fails: process is not run, which is neither a pass nor a failure.
    const ToolRun run = runTool({"check", faultModule("replacing"), "--only", "loads,record,process", "--seed", "3",
                                 "--json", "--junit", folder.path("checks.xml")});
    EXPECT_EQ(run.status, 1);
    const auto json = flattenJson(run.out);
    EXPECT_EQ(json.at("seed"), "3");
    EXPECT_EQ(json.at("checks.0.name"), "loads");
    EXPECT_EQ(json.at("checks.0.result"), "pass");
    EXPECT_EQ(json.at("checks.1.name"), "record");
    EXPECT_EQ(json.at("checks.1.result"), "fail");
    EXPECT_TRUE(contains(json.at("checks.1.detail"), "without effFlagsCanReplacing")) << run.out;
    EXPECT_EQ(json.at("checks.1.step"), "calling the entry");
    EXPECT_EQ(json.at("checks.2.name"), "process");
    EXPECT_EQ(json.at("checks.2.result"), "skip");
    EXPECT_EQ(json.at("checks.2.detail"), "not run: record failed");
    EXPECT_EQ(json.at("passed") + json.at("failed") + json.at("skipped"), "111");

    const std::vector<JunitCase> cases = readJunit(folder.path("checks.xml"));
    ASSERT_EQ(cases.size(), 3u);
    EXPECT_EQ(cases[0].name, "loads");
    EXPECT_EQ(cases[0].result, "");
    EXPECT_TRUE(contains(cases[1].result, "FAIL processReplacing without")) << cases[1].result;
    EXPECT_EQ(cases[2].result, "SKIP not run: record failed");
}

TEST(CheckRunner, ListNamesEveryCheck)
{
    const ToolRun run = runTool({"check", "--list"});
    EXPECT_EQ(run.status, 0);
    for (const std::string& name : kCheckNames) {
        EXPECT_TRUE(std::regex_search(run.out, std::regex("(^|\n)" + name + " +from strictness"))) << name;
    }
}

TEST(CheckRunner, MistakesInTheCommandAreUsageErrors)
{
    const std::vector<std::vector<std::string>> mistakes{
        {"--only", "loads,nosuch"}, {"--strictness", "11"}, {"--strictness", "0"},
        {"--seed", "-1"},           {"--seed", "12x"},      {"--repeat", "0"},
    };
    for (const auto& mistake : mistakes) {
        std::vector<std::string> words{"check", VELA_MODULE_PATH};
        words.insert(words.end(), mistake.begin(), mistake.end());
        const ToolRun run = runTool(words);
        EXPECT_EQ(run.status, 2) << mistake[0] << " " << mistake[1] << "\n" << run.out << run.err;
        EXPECT_FALSE(contains(run.out, "PASS ")) << run.out;
    }
}

} // namespace

} // namespace vela
