// SPDX-License-Identifier: MIT
// Files rendered through the bundle by Debian's lv2apply, as any LV2 host would, against the
// input and against the same files rendered through the VST 2 module by vela-host.

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lv2/lv2_uris.h"
#include "tests/cli/cli_support.h"

namespace vela {

namespace {

constexpr std::size_t kFrames = 48000 + 17;

// Renders in through the bundle with the switch port at value; answers lv2apply's status.
int applyLv2(const std::string& in, const std::string& out, const char* value)
{
    const std::string command = std::string("LV2_PATH='") + VELA_LV2_BUNDLE_PATH + "/..' lv2apply -i '" + in +
                                "' -o '" + out + "' -c switch " + value + " '" + kLv2PluginUri + "' >/dev/null 2>&1";
    return std::system(command.c_str());
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

class Lv2Render : public testing::Test {
protected:
    void SetUp() override
    {
        left = noise(kFrames, 1);
        right = noise(kFrames, 2);
        // Values a careless copy or a mix would change.
        left[3] = -0.0f;
        right[4] = 1.0e-40f;
        left[5] = 1.0f;
        right[5] = 1.0f;
        writeAudio(input, {left, right}, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    }

    ScratchFolder folder;
    const std::string input = folder.path("in.wav");
    std::vector<float> left;
    std::vector<float> right;
};

TEST_F(Lv2Render, SwitchOffPassesEveryBitThrough)
{
    const std::string output = folder.path("off.wav");
    ASSERT_EQ(applyLv2(input, output, "0"), 0);
    const Audio rendered = readAudio(output);
    ASSERT_EQ(rendered.channels.size(), 2u);
    EXPECT_TRUE(sameBits(rendered.channels[0], left));
    EXPECT_TRUE(sameBits(rendered.channels[1], right));
}

TEST_F(Lv2Render, SwitchOnWritesTheMeanToBothChannelsAsTheVstModuleDoes)
{
    const std::string lv2Output = folder.path("lv2.wav");
    const std::string vstOutput = folder.path("vst.wav");
    ASSERT_EQ(applyLv2(input, lv2Output, "1"), 0);
    const ToolRun vst = runTool({"render", VELA_MODULE_PATH, input, vstOutput, "--param", "0=1"});
    ASSERT_EQ(vst.status, 0) << vst.err;

    const Audio lv2 = readAudio(lv2Output);
    const Audio reference = readAudio(vstOutput);
    ASSERT_EQ(lv2.channels.size(), 2u);
    std::vector<float> mean(kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) {
        mean[i] = (left[i] + right[i]) * 0.5f;
    }
    EXPECT_TRUE(sameBits(lv2.channels[0], mean));
    EXPECT_TRUE(sameBits(lv2.channels[1], mean));
    ASSERT_EQ(reference.channels.size(), 2u);
    EXPECT_TRUE(sameBits(lv2.channels[0], reference.channels[0]));
    EXPECT_TRUE(sameBits(lv2.channels[1], reference.channels[1]));
}

TEST_F(Lv2Render, SwitchOffRendersTheSameSamplesAsTheVstModule)
{
    const std::string lv2Output = folder.path("lv2.wav");
    const std::string vstOutput = folder.path("vst.wav");
    ASSERT_EQ(applyLv2(input, lv2Output, "0"), 0);
    const ToolRun vst = runTool({"render", VELA_MODULE_PATH, input, vstOutput, "--param", "0=0"});
    ASSERT_EQ(vst.status, 0) << vst.err;
    const Audio lv2 = readAudio(lv2Output);
    const Audio reference = readAudio(vstOutput);
    ASSERT_EQ(lv2.channels.size(), 2u);
    ASSERT_EQ(reference.channels.size(), 2u);
    EXPECT_TRUE(sameBits(lv2.channels[0], reference.channels[0]));
    EXPECT_TRUE(sameBits(lv2.channels[1], reference.channels[1]));
}

} // namespace

} // namespace vela
