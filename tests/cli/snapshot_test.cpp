// SPDX-License-Identifier: MIT
// vela-host snapshot: real editor windows saved as PNG, read back by an independent decoder.

#include <gtest/gtest.h>

#include "cli_support.h"

namespace vela {

namespace {

Picture snapshot(const ScratchFolder& folder, const std::string& name, const std::vector<std::string>& arguments)
{
    const ToolRun run = runTool(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, folder.path(name))) << run.out;
    return readPng(folder.path(name));
}

#ifdef VELA_MODULE_PATH

// The lit button covers the 220 by 58 rectangle at (17, 10); nothing else may change.
void expectOnlyTheButtonLit(const Picture& off, const Picture& clicked)
{
    ASSERT_EQ(off.width, 256);
    ASSERT_EQ(off.height, 96);
    ASSERT_EQ(clicked.width, 256);
    ASSERT_EQ(clicked.height, 96);
    int changed = 0;
    for (int y = 0; y < off.height; ++y) {
        for (int x = 0; x < off.width; ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * off.width + x) * 3;
            if (std::equal(off.rgb.begin() + at, off.rgb.begin() + at + 3, clicked.rgb.begin() + at)) {
                continue;
            }
            ++changed;
            EXPECT_TRUE(x >= 17 && x < 237 && y >= 10 && y < 68) << "pixel " << x << "," << y;
        }
    }
    EXPECT_GT(changed, 1000);
}

TEST(SnapshotOfVela, AClickLightsTheButtonAndNothingElse)
{
    const ScratchFolder folder;
    const Picture off = snapshot(folder, "off.png", {"snapshot", VELA_MODULE_PATH, folder.path("off.png")});
    const Picture clicked =
        snapshot(folder, "on.png", {"snapshot", VELA_MODULE_PATH, folder.path("on.png"), "--click", "128,40"});
    expectOnlyTheButtonLit(off, clicked);
}

TEST(SnapshotOfVela, TheSwitchSetByParameterLooksLikeTheClickedOne)
{
    const ScratchFolder folder;
    const Picture byParameter =
        snapshot(folder, "param.png", {"snapshot", VELA_MODULE_PATH, folder.path("param.png"), "--param", "0=1"});
    const Picture clicked =
        snapshot(folder, "click.png", {"snapshot", VELA_MODULE_PATH, folder.path("click.png"), "--click=128,40"});
    ASSERT_FALSE(byParameter.rgb.empty());
    EXPECT_EQ(byParameter.rgb, clicked.rgb);
}

TEST(SnapshotOfVela, WithoutADisplayStartsAPrivateOneAndStopsIt)
{
    const ScratchFolder folder;
    const ToolRun run = runTool({"snapshot", VELA_MODULE_PATH, folder.path("off.png")}, "env -u DISPLAY");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string said = "private display :";
    const std::size_t at = run.out.find(said);
    ASSERT_NE(at, std::string::npos) << run.out;
    const std::string number = run.out.substr(at + said.size(), run.out.find('\n', at) - at - said.size());
    EXPECT_EQ(readPng(folder.path("off.png")).width, 256);
    EXPECT_FALSE(installed("/tmp/.X" + number + "-lock")) << "the private Xvfb still runs";
}

// Each run must start a server of its own on a number nobody else holds: a run that took the
// number another's server holds would draw on that server and lose its window when it ends.
TEST(SnapshotOfVela, RunsAtOnceWithoutADisplayEachGetTheirOwn)
{
    const ScratchFolder folder;
    const std::vector<ToolRun> runs = runToolsAtOnce(
        {
            {"snapshot", VELA_MODULE_PATH, folder.path("off.png")},
            {"snapshot", VELA_MODULE_PATH, folder.path("clicked.png"), "--click", "128,40"},
            {"snapshot", VELA_MODULE_PATH, folder.path("param.png"), "--param", "0=1"},
            {"snapshot", VELA_MODULE_PATH, folder.path("off-too.png")},
        },
        "env -u DISPLAY");
    for (const ToolRun& run : runs) {
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(contains(run.out, "private display :")) << run.out;
    }
    const Picture off = readPng(folder.path("off.png"));
    const Picture clicked = readPng(folder.path("clicked.png"));
    expectOnlyTheButtonLit(off, clicked);
    EXPECT_EQ(readPng(folder.path("off-too.png")).rgb, off.rgb);
    EXPECT_EQ(readPng(folder.path("param.png")).rgb, clicked.rgb);
}

TEST(SnapshotErrors, WithoutADisplayOrXvfbSaysSoAndWritesNothing)
{
    const ScratchFolder folder;
    const ToolRun run =
        runTool({"snapshot", VELA_MODULE_PATH, folder.path("off.png")}, "env -u DISPLAY PATH=/nonexistent");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "Xvfb cannot be started")) << run.err;
    EXPECT_TRUE(folder.files().empty());
}

#endif

class SnapshotOfThirdParty : public testing::TestWithParam<std::string> {};

TEST_P(SnapshotOfThirdParty, IsAsLargeAsTheEditorsRectangle)
{
    if (!installed(GetParam())) {
        GTEST_SKIP() << GetParam() << " is not installed";
    }
    const ScratchFolder folder;
    const Picture picture = snapshot(folder, "editor.png", {"snapshot", GetParam(), folder.path("editor.png")});
    // The rectangle as the editor gives it before it opens; the window follows the one it
    // gives once open.
    const ToolRun info = runTool({"info", GetParam(), "--json"});
    ASSERT_EQ(info.status, 0) << info.err;
    auto json = flattenJson(info.out);
    EXPECT_EQ(std::to_string(picture.width), json["editor.width"]);
    EXPECT_EQ(std::to_string(picture.height), json["editor.height"]);
}

INSTANTIATE_TEST_SUITE_P(Packaged, SnapshotOfThirdParty,
                         testing::Values("/usr/lib/vst/3BandEQ-vst.so", "/usr/lib/vst/ZamComp-vst.so"),
                         [](const auto& info) {
                             return info.param.find("ZamComp") != std::string::npos ? "ZamComp" : "ThreeBandEQ";
                         });

struct WrongSnapshot {
    const char* name;
    std::vector<std::string> options;
    int status;
    const char* message;
};

class SnapshotMistakes : public testing::TestWithParam<WrongSnapshot> {};

TEST_P(SnapshotMistakes, FailCleanly)
{
#ifndef VELA_MODULE_PATH
    GTEST_SKIP() << "needs the Vela module";
#else
    const ScratchFolder folder;
    std::vector<std::string> arguments{"snapshot", VELA_MODULE_PATH, folder.path("out.png")};
    arguments.insert(arguments.end(), GetParam().options.begin(), GetParam().options.end());
    const ToolRun run = runTool(arguments);
    EXPECT_EQ(run.status, GetParam().status) << run.err;
    EXPECT_TRUE(contains(run.err, GetParam().message)) << run.err;
    EXPECT_TRUE(folder.files().empty()) << "something was left behind";
#endif
}

INSTANTIATE_TEST_SUITE_P(Wrong, SnapshotMistakes,
                         testing::Values(WrongSnapshot{"ClickWithoutComma", {"--click", "128"}, 2, "expected X,Y"},
                                         WrongSnapshot{"ClickNotANumber", {"--click", "a,b"}, 2, "expected X,Y"},
                                         WrongSnapshot{
                                             "ClickOutsideTheEditor", {"--click", "300,40"}, 2, "the editor is 256x96"},
                                         WrongSnapshot{"ParamOutOfRange", {"--param", "1=1"}, 2, "bad --param"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SnapshotErrors, AModuleWithoutAnEditorWritesNothing)
{
    const ScratchFolder folder;
    const ToolRun run = runTool({"snapshot", FRAME_TEST_MODULE_PATH, folder.path("out.png")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "no editor")) << run.err;
    EXPECT_TRUE(folder.files().empty());
}

} // namespace

} // namespace vela
