// SPDX-License-Identifier: MIT
// vela-host render and levels: audio through built and third-party modules, compared sample
// by sample where the effect's job is known, and every way the input can be wrong.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <fstream>
#include <limits>

#include "cli_support.h"
#include "host/hosted_effect.h"
#include "host/plugin_module.h"

namespace vela {

namespace {

constexpr std::size_t kFrames = 3000;

#ifdef VELA_MODULE_PATH

enum class Expected { passThrough, mean };

struct VelaRender {
    const char* name;
    std::vector<std::string> options;
    Expected expected;
};

class RenderThroughVela : public testing::TestWithParam<VelaRender> {};

TEST_P(RenderThroughVela, OutputsFollowTheSwitchSampleBySample)
{
    const ScratchFolder folder;
    const std::vector<float> left = noise(kFrames, 1);
    const std::vector<float> right = noise(kFrames, 2);
    writeAudio(folder.path("in.wav"), {left, right}, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    std::vector<std::string> arguments{"render", VELA_MODULE_PATH, folder.path("in.wav"), folder.path("out.wav")};
    arguments.insert(arguments.end(), GetParam().options.begin(), GetParam().options.end());

    const ToolRun run = runTool(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio out = readAudio(folder.path("out.wav"));
    ASSERT_EQ(out.channels.size(), 2u);
    ASSERT_EQ(out.channels[0].size(), kFrames);
    ASSERT_EQ(out.channels[1].size(), kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) {
        const float mean = (left[i] + right[i]) / 2.0f;
        const float expectedLeft = GetParam().expected == Expected::mean ? mean : left[i];
        const float expectedRight = GetParam().expected == Expected::mean ? mean : right[i];
        ASSERT_NEAR(out.channels[0][i], expectedLeft, 1e-7f) << "frame " << i;
        ASSERT_NEAR(out.channels[1][i], expectedRight, 1e-7f) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Switch, RenderThroughVela,
    testing::Values(VelaRender{"Off", {}, Expected::passThrough},
                    VelaRender{"OffExplicitly", {"--param", "0=0"}, Expected::passThrough},
                    VelaRender{"On", {"--param", "0=1"}, Expected::mean},
                    VelaRender{"OnAccumulating", {"--param=0=1", "--accumulate"}, Expected::mean},
                    VelaRender{"OnInOddBlocks", {"--param", "0=1", "--block", "7"}, Expected::mean},
                    VelaRender{
                        "OffAccumulatingInLargeBlocks", {"--accumulate", "--block=8192"}, Expected::passThrough}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RenderMonoThroughVela, FeedsBothInputsAndSaysSo)
{
    const ScratchFolder folder;
    const std::vector<float> mono = noise(kFrames, 3);
    writeAudio(folder.path("mono.wav"), {mono}, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const ToolRun run =
        runTool({"render", VELA_MODULE_PATH, folder.path("mono.wav"), folder.path("out.wav"), "--param", "0=1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "mapping: mono: channel 1 -> inputs 1 to 2")) << run.out;
    const Audio out = readAudio(folder.path("out.wav"));
    ASSERT_EQ(out.channels.size(), 2u);
    for (std::size_t i = 0; i < kFrames; ++i) {
        ASSERT_NEAR(out.channels[0][i], mono[i], 1e-7f) << "frame " << i;
        ASSERT_EQ(out.channels[0][i], out.channels[1][i]) << "frame " << i;
    }
}

TEST(RenderFormats, SixteenBitInputPassesThroughBitExactInItsOwnFormat)
{
    const ScratchFolder folder;
    std::vector<float> left = noise(kFrames, 4);
    std::vector<float> right = noise(kFrames, 5);
    // Full scale both ways: the samples a careless float conversion changes.
    left[0] = 32767.0f / 32768.0f;
    right[0] = -1.0f;
    writeAudio(folder.path("in.wav"), {left, right}, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const ToolRun run = runTool({"render", VELA_MODULE_PATH, folder.path("in.wav"), folder.path("out.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio in = readAudio(folder.path("in.wav"));
    const Audio out = readAudio(folder.path("out.wav"));
    EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(out.channels, in.channels);
}

TEST(RenderFormats, TheExtensionChoosesTheTypeAndNoneMeansFloatWav)
{
    const ScratchFolder folder;
    writeAudio(folder.path("in.wav"), {noise(kFrames, 6), noise(kFrames, 7)}, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000);
    const struct {
        const char* name;
        int format;
    } cases[] = {
        {"out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"out.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        {"out", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"out.audio", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
    };
    for (const auto& entry : cases) {
        const ToolRun run = runTool({"render", VELA_MODULE_PATH, folder.path("in.wav"), folder.path(entry.name)});
        ASSERT_EQ(run.status, 0) << entry.name << ": " << run.err;
        const Audio out = readAudio(folder.path(entry.name));
        EXPECT_EQ(out.format & (SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK), entry.format) << entry.name;
        EXPECT_EQ(out.rate, 48000) << entry.name;
    }
}

// Whether written is what a render a block at a time wrote for the switch's mean: the float
// itself, or in an integer format of this full scale (2^(bits - 1)) the nearest integer step
// with ties to even, clipped to the format's range, a NaN as silence.
bool writtenAsOneBlockAtATime(float written, float left, float right, double fullScale)
{
    const float mean = (left + right) * 0.5f;
    if (fullScale == 0.0) {
        return std::isnan(mean) ? std::isnan(written)
                                : std::bit_cast<uint32_t>(written) == std::bit_cast<uint32_t>(mean);
    }
    const double step = std::isnan(mean) ? 0.0 : std::nearbyint(mean * fullScale);
    return written * fullScale == std::clamp(step, -fullScale, fullScale - 1.0);
}

// A long file passes between the files and the effect many blocks at a time. Whatever the
// block size and the sample format, and with a length that is no whole number of blocks or of
// reads, every sample must come out as it did from a render that read, processed and wrote one
// block at a time.
TEST(RenderLongFilesThroughVela, EverySampleAsWhenRenderedOneBlockAtATime)
{
    constexpr std::size_t kLongFrames = 100'003;
    const struct {
        const char* input;
        const char* block;
        const char* output;
        // 2^(bits - 1) of OUT's integer samples; 0 for floats.
        double fullScale;
    } cases[] = {
        {"16.wav", "7", "16.wav", 32768.0},
        {"24.wav", "1000", "24.wav", 8388608.0},
        {"float.wav", "512", "float.wav", 0.0},
        // Floats beyond full scale, infinite and NaN, into 24-bit FLAC and 16-bit VOC.
        {"float.wav", "333", "float.flac", 8388608.0},
        {"float.wav", "4099", "float.voc", 32768.0},
    };
    const ScratchFolder folder;
    std::vector<float> left = noise(kLongFrames, 10);
    std::vector<float> right = noise(kLongFrames, 11);
    writeAudio(folder.path("16.wav"), {left, right}, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    writeAudio(folder.path("24.wav"), {left, right}, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    // Equal on both sides, each is its own mean: halfway between integer steps, beyond full
    // scale, at it, and samples no integer format has.
    const float unusual[] = {0.5f / 32768.0f,
                             -2.5f / 32768.0f,
                             32767.5f / 32768.0f,
                             4.5f / 8388608.0f,
                             8388607.5f / 8388608.0f,
                             1.5f,
                             -1.5f,
                             1.0f,
                             -1.0f,
                             3e38f,
                             -0.0f,
                             1e-40f,
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN()};
    for (std::size_t i = 0; i < std::size(unusual); ++i) {
        left[i * 6007] = right[i * 6007] = unusual[i];
    }
    writeAudio(folder.path("float.wav"), {left, right}, SF_FORMAT_WAV | SF_FORMAT_FLOAT);

    for (const auto& entry : cases) {
        const std::string out = folder.path(std::string("out-") + entry.block + "-" + entry.output);
        const ToolRun run = runTool(
            {"render", VELA_MODULE_PATH, folder.path(entry.input), out, "--param", "0=1", "--block", entry.block});
        ASSERT_EQ(run.status, 0) << run.err;
        const Audio in = readAudio(folder.path(entry.input));
        const Audio written = readAudio(out);
        ASSERT_EQ(written.channels.size(), 2u) << out;
        for (const auto& channel : written.channels) {
            ASSERT_EQ(channel.size(), kLongFrames) << out;
            for (std::size_t i = 0; i < kLongFrames; ++i) {
                ASSERT_TRUE(writtenAsOneBlockAtATime(channel[i], in.channels[0][i], in.channels[1][i], entry.fullScale))
                    << out << ", frame " << i << ": " << in.channels[0][i] << " and " << in.channels[1][i] << " became "
                    << channel[i];
            }
        }
    }
}

TEST(LevelsOfVela, TheDownmixMakesTheChannelsIdentical)
{
    const ScratchFolder folder;
    const ToolRun on = runTool({"render", VELA_MODULE_PATH, EXAMPLE_PATH, folder.path("on.wav"), "--param", "0=1"});
    ASSERT_EQ(on.status, 0) << on.err;
    const ToolRun levels = runTool({"levels", EXAMPLE_PATH, folder.path("on.wav")});
    ASSERT_EQ(levels.status, 0) << levels.err;
    // The example's channels are unrelated; the downmix's are one signal twice.
    const std::size_t onRow = levels.out.find(folder.path("on.wav"));
    ASSERT_NE(onRow, std::string::npos) << levels.out;
    const std::string exampleRows = levels.out.substr(0, onRow);
    const std::string onRows = levels.out.substr(onRow);
    EXPECT_FALSE(contains(exampleRows, " 1.000 ")) << levels.out;
    EXPECT_TRUE(contains(onRows, " 1.000         0.00\n")) << levels.out;
}

#endif

TEST(Levels, MeasuresRmsPeakAndCorrelationOfAFile)
{
    const ScratchFolder folder;
    // A half-scale square wave on 1 and its negative on 2: RMS and peak -6.02 dBFS,
    // correlation -1.
    std::vector<float> square(kFrames);
    std::vector<float> negative(kFrames);
    for (std::size_t i = 0; i < kFrames; ++i) {
        square[i] = (i / 50) % 2 ? 0.5f : -0.5f;
        negative[i] = -square[i];
    }
    writeAudio(folder.path("square.wav"), {square, negative}, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const ToolRun run = runTool({"levels", folder.path("square.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "1       -6.02       -6.02       -1.000          inf\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "2       -6.02       -6.02")) << run.out;
}

TEST(Levels, TheFoldDownLossIsHowMuchQuieterTheMonoMixIsThanTheLouderChannel)
{
    struct Case {
        const char* name;
        // Channel 2 from channel 1 and an unrelated noise.
        float (*second)(float first, float other);
        double lowest;
        double highest;
    };
    const Case cases[] = {
        {"identical", [](float first, float) { return first; }, 0.0, 0.0},
        {"unrelated", [](float, float other) { return other; }, 2.8, 3.2},
        {"silent beside", [](float, float) { return 0.0f; }, 6.02, 6.02},
        {"half as loud, same sign", [](float first, float) { return first * 0.5f; }, 2.49, 2.50},
        {"inverted at half", [](float first, float) { return first * -0.5f; }, 12.04, 12.04},
    };
    const ScratchFolder folder;
    const std::vector<float> first = noise(kFrames, 1);
    const std::vector<float> other = noise(kFrames, 2);
    for (const Case& entry : cases) {
        std::vector<float> second(kFrames);
        for (std::size_t i = 0; i < kFrames; ++i) {
            second[i] = entry.second(first[i], other[i]);
        }
        writeAudio(folder.path("pair.wav"), {first, second}, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        const ToolRun run = runTool({"levels", folder.path("pair.wav")});
        ASSERT_EQ(run.status, 0) << run.err;
        // The last word of channel 1's row.
        const std::string row = run.out.substr(run.out.find('\n') + 1, run.out.find(" 2 ") - run.out.find('\n'));
        const std::string firstRow = row.substr(0, row.find('\n'));
        const double loss = std::stod(firstRow.substr(firstRow.find_last_of(' ') + 1));
        EXPECT_GE(loss, entry.lowest - 0.005) << entry.name << "\n" << run.out;
        EXPECT_LE(loss, entry.highest + 0.005) << entry.name << "\n" << run.out;
    }
}

struct ThirdPartyModule {
    const char* name;
    std::string path;
};

class RenderThroughThirdParty : public testing::TestWithParam<ThirdPartyModule> {};

TEST_P(RenderThroughThirdParty, WritesFiniteAudioOfTheSameLengthOnEveryOutput)
{
    if (!installed(GetParam().path)) {
        GTEST_SKIP() << GetParam().path << " is not installed";
    }
    HostedEffect effect(PluginModule::load(GetParam().path));
    ASSERT_NE(effect.record(), nullptr);
    const std::size_t outputs = static_cast<std::size_t>(effect.record()->numOutputs);
    const ScratchFolder folder;
    const ToolRun run = runTool({"render", GetParam().path, EXAMPLE_PATH, folder.path("out.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio in = readAudio(EXAMPLE_PATH);
    const Audio out = readAudio(folder.path("out.wav"));
    ASSERT_EQ(out.channels.size(), outputs);
    EXPECT_EQ(out.rate, in.rate);
    for (const auto& channel : out.channels) {
        ASSERT_EQ(channel.size(), in.channels[0].size());
        double energy = 0.0;
        for (const float sample : channel) {
            ASSERT_TRUE(std::isfinite(sample));
            energy += double{sample} * sample;
        }
        EXPECT_GT(energy, 0.0) << "an output is silent";
    }
}

INSTANTIATE_TEST_SUITE_P(Packaged, RenderThroughThirdParty,
                         testing::Values(ThirdPartyModule{"ThreeBandEQ", "/usr/lib/vst/3BandEQ-vst.so"},
                                         ThirdPartyModule{"ZamComp", "/usr/lib/vst/ZamComp-vst.so"},
                                         ThirdPartyModule{"MaBitcrush", "/usr/lib/vst/MaBitcrush-vst.so"},
                                         ThirdPartyModule{"PingPongPan", "/usr/lib/vst/PingPongPan-vst.so"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Each wrong call fails with a one-line message and the right status, and leaves no OUT and
// no temporary file behind.
struct WrongRender {
    const char* name;
    // MODULE, IN, OUT and options; "@" stands for the scratch folder.
    std::vector<std::string> arguments;
    int status;
    const char* message;
};

class RenderMistakes : public testing::TestWithParam<WrongRender> {};

TEST_P(RenderMistakes, FailCleanly)
{
    const ScratchFolder folder;
    writeAudio(folder.path("in.wav"), {noise(kFrames, 8), noise(kFrames, 9)}, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    {
        std::ofstream(folder.path("text.txt")) << "not audio, not a module\n";
    }
    std::filesystem::create_directory(folder.path("folder"));
    std::vector<std::string> arguments{"render"};
    for (std::string argument : GetParam().arguments) {
        if (argument.starts_with("@")) {
            argument = folder.path(argument.substr(1));
        }
        arguments.push_back(argument);
    }
    const std::vector<std::string> before = folder.files();

    const ToolRun run = runTool(arguments);
    EXPECT_EQ(run.status, GetParam().status) << run.err;
    EXPECT_TRUE(contains(run.err, GetParam().message)) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(folder.files(), before) << "something was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Wrong, RenderMistakes,
    testing::Values(
        WrongRender{"MissingModule", {"@none.so", "@in.wav", "@out.wav"}, 1, "cannot load module"},
        WrongRender{"TextAsModule", {"@text.txt", "@in.wav", "@out.wav"}, 1, "cannot load module"},
        WrongRender{
            "LibraryWithoutEntry", {"libm.so.6", "@in.wav", "@out.wav"}, 1, "exports neither main nor VSTPluginMain"},
        WrongRender{
            "MissingInput", {FRAME_TEST_MODULE_PATH, "@none.wav", "@out.wav", "--accumulate"}, 1, "cannot read"},
        WrongRender{"TextAsInput", {FRAME_TEST_MODULE_PATH, "@text.txt", "@out.wav", "--accumulate"}, 1, "cannot read"},
        WrongRender{"OutputInMissingFolder",
                    {FRAME_TEST_MODULE_PATH, "@in.wav", "@none/out.wav", "--accumulate"},
                    1,
                    "cannot write"},
        WrongRender{
            "OutputIsAFolder", {FRAME_TEST_MODULE_PATH, "@in.wav", "@folder", "--accumulate"}, 1, "cannot write"},
        WrongRender{"ParamWithoutValue",
                    {FRAME_TEST_MODULE_PATH, "@in.wav", "@out.wav", "--param", "0"},
                    2,
                    "bad --param \"0\": expected INDEX=VALUE"},
        WrongRender{"ParamIndexOutOfRange",
                    {FRAME_TEST_MODULE_PATH, "@in.wav", "@out.wav", "--param", "5=1"},
                    2,
                    "bad --param \"5=1\": the effect has 5 parameters"},
        WrongRender{"ParamValueNotANumber",
                    {FRAME_TEST_MODULE_PATH, "@in.wav", "@out.wav", "--param", "0=loud"},
                    2,
                    "is not a number"},
        WrongRender{"ParamIndexNotANumber",
                    {FRAME_TEST_MODULE_PATH, "@in.wav", "@out.wav", "--param", "first=1"},
                    2,
                    "is not a parameter number"},
        WrongRender{"ParamValueBeyondOne",
                    {FRAME_TEST_MODULE_PATH, "@in.wav", "@out.wav", "--param", "0=1.5"},
                    2,
                    "normalised"},
        WrongRender{"ModuleThatCannotReplace", {FRAME_TEST_MODULE_PATH, "@in.wav", "@out.wav"}, 1, "try --accumulate"},
        WrongRender{
            "BlockOfZero", {FRAME_TEST_MODULE_PATH, "@in.wav", "@out.wav", "--block", "0"}, 2, "--block expects"},
        WrongRender{
            "UnknownOption", {FRAME_TEST_MODULE_PATH, "@in.wav", "@out.wav", "--loud"}, 2, "unknown option --loud"},
        WrongRender{"TooFewArguments", {FRAME_TEST_MODULE_PATH, "@in.wav"}, 2, "expected MODULE IN OUT"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

} // namespace vela
