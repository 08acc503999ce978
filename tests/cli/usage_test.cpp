// vela-host as a command: help for every command, usage mistakes, and bench's figures.

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>

#include "cli_support.h"

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
TEST(Bench, PrintsTheLoadTimeAndARatioForEachBlockSize)
{
    const ToolRun run = runTool({"bench", VELA_MODULE_PATH});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("module load \\+ main \\+ effClose: "
                                                      "[0-9.]+ ms \\(median of [0-9]+\\)")))
        << run.out;
    for (const char* block : {"64", "256", "1024", "4096"}) {
        std::smatch row;
        ASSERT_TRUE(std::regex_search(run.out, row,
                                      std::regex("\n +" + std::string(block) +
                                                 " +([0-9.]+) +([0-9.]+) +([0-9.]+) +([0-9.]+)\n")))
            << block << " missing in\n"
            << run.out;
        const double perBlock = std::stod(row[1]);
        const double perFrame = std::stod(row[2]);
        const double ratio = std::stod(row[4]);
        EXPECT_GT(perBlock, 0.0);
        // Per frame is per block over the block's frames, as printed, to rounding.
        EXPECT_NEAR(perFrame, perBlock / std::stod(block), 0.001 + perFrame * 0.01);
        EXPECT_TRUE(std::isfinite(ratio) && ratio > 0.0) << row[0];
    }
}
#endif

} // namespace
