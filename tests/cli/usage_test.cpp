// SPDX-License-Identifier: MIT
// vela-host as a command: help for every command, usage mistakes, and bench's figures.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "cli_support.h"

namespace vela {

namespace {

class CommandHelp : public testing::TestWithParam<std::string> {};

TEST_P(CommandHelp, IsPrintedWithTheCommandsUsage)
{
    for (const char* flag : {"--help", "-h"}) {
        const ToolRun run = runTool({GetParam(), flag});
        EXPECT_EQ(run.status, 0) << flag;
        EXPECT_TRUE(contains(run.out, "usage: vela-host " + GetParam() + " ")) << run.out;
    }
    const ToolRun overview = runTool({"--help"});
    EXPECT_TRUE(contains(overview.out, "\n  " + GetParam() + " ")) << overview.out;
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandHelp,
                         testing::Values("info", "render", "levels", "bench", "snapshot", "check"));

TEST(Usage, MistakesInTheCommandExitWithTwo)
{
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{}, "usage: vela-host COMMAND"},
        {{"explode"}, "unknown command \"explode\""},
        {{"info"}, "expected MODULE, got 0 arguments"},
        {{"info", "a.so", "b.so"}, "expected MODULE, got 2 arguments"},
        {{"info", "a.so", "--yaml"}, "unknown option --yaml"},
        {{"info", "a.so", "--json=yes"}, "--json takes no value"},
        {{"snapshot", "a.so", "out.png", "--click"}, "--click needs a value"},
        {{"levels"}, "expected one or more FILE"},
    };
    for (const auto& entry : cases) {
        const ToolRun run = runTool(entry.arguments);
        EXPECT_EQ(run.status, 2) << entry.message;
        EXPECT_TRUE(contains(run.err, entry.message)) << run.err;
    }
}

#ifdef VELA_MODULE_PATH
// The numbers on bench's row for a block size: ns per block, ns per frame, memcpy ns per frame,
// ratio; none when the row is missing.
std::vector<double> benchRow(const std::string& out, const std::string& block)
{
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first;
        std::vector<double> numbers(4, 0.0);
        if (words >> first && first == block && words >> numbers[0] >> numbers[1] >> numbers[2] >> numbers[3]) {
            return numbers;
        }
    }
    return {};
}

TEST(Bench, PrintsTheLoadTimeAndARatioForEachBlockSize)
{
    const ToolRun run = runTool({"bench", VELA_MODULE_PATH, "--compare", FRAME_TEST_MODULE_PATH});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "module load + main + effClose + unload: ")) << run.out;
    EXPECT_TRUE(contains(run.out, " ms (median of 101)\n")) << run.out;
    EXPECT_TRUE(contains(run.out, std::string("  the same for ") + FRAME_TEST_MODULE_PATH + ": ")) << run.out;
    for (const char* block : {"64", "256", "1024", "4096"}) {
        const std::vector<double> row = benchRow(run.out, block);
        ASSERT_EQ(row.size(), 4u) << block << " missing in\n" << run.out;
        EXPECT_GT(row[0], 0.0);
        // Per frame is per block over the block's frames, as printed, to rounding.
        EXPECT_NEAR(row[1], row[0] / std::stod(block), 0.001 + row[1] * 0.01);
        EXPECT_TRUE(std::isfinite(row[3]) && row[3] > 0.0) << block;
    }
}
#endif

} // namespace

} // namespace vela
