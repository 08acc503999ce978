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

// Off passes every bit through; on writes the mean to both channels; either way the samples are
// those vela-host renders through the VST 2 module with the parameter at the same value.
TEST_F(Lv2Render, RendersTheSamplesOfTheVstModule)
{
    std::vector<float> mean(kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) {
        mean[i] = (left[i] + right[i]) * 0.5f;
    }
    struct Case {
        const char* value;
        const std::vector<float>& outLeft;
        const std::vector<float>& outRight;
    };
    const Case cases[] = {{"0", left, right}, {"1", mean, mean}};
    for (const Case& test : cases) {
        const std::string lv2Output = folder.path(std::string("lv2-") + test.value + ".wav");
        const std::string vstOutput = folder.path(std::string("vst-") + test.value + ".wav");
        ASSERT_EQ(applyLv2(input, lv2Output, test.value), 0);
        const ToolRun vst =
            runTool({"render", VELA_MODULE_PATH, input, vstOutput, "--param", std::string("0=") + test.value});
        ASSERT_EQ(vst.status, 0) << vst.err;

        const Audio lv2 = readAudio(lv2Output);
        const Audio reference = readAudio(vstOutput);
        ASSERT_EQ(lv2.channels.size(), 2u);
        ASSERT_EQ(reference.channels.size(), 2u);
        EXPECT_TRUE(sameBits(lv2.channels[0], test.outLeft)) << "switch " << test.value;
        EXPECT_TRUE(sameBits(lv2.channels[1], test.outRight)) << "switch " << test.value;
        EXPECT_TRUE(sameBits(lv2.channels[0], reference.channels[0])) << "switch " << test.value;
        EXPECT_TRUE(sameBits(lv2.channels[1], reference.channels[1])) << "switch " << test.value;
    }
}

} // namespace

} // namespace vela
