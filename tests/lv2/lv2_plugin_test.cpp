// SPDX-License-Identifier: MIT
// The DSP module of the bundle loaded as an LV2 host loads it: its one descriptor, the block it
// mixes for every way a host may connect the four audio ports, and its description's identity.

#include <gtest/gtest.h>

#include <lv2/core/lv2.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "effect/identity.h"
#include "effect/sample_kernels.h"
#include "lv2/lv2_uris.h"
#include "tests/lv2/loaded_module.h"

namespace vela {

namespace {

constexpr uint32_t kSwitchPortIndex = 4;

// One instance of the plug-in, made and ended through its descriptor.
class PluginInstance {
public:
    PluginInstance() : module(VELA_LV2_DSP_PATH)
    {
        const auto entry = module.entry<LV2_Descriptor_Function>("lv2_descriptor");
        descriptor = entry != nullptr ? entry(0) : nullptr;
        if (descriptor != nullptr) {
            handle = descriptor->instantiate(descriptor, 48000.0, VELA_LV2_BUNDLE_PATH "/", nullptr);
        }
    }
    ~PluginInstance()
    {
        if (handle != nullptr) {
            descriptor->cleanup(handle);
        }
    }
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    void connect(uint32_t port, void* data) { descriptor->connect_port(handle, port, data); }
    void run(uint32_t frames) { descriptor->run(handle, frames); }

    LoadedModule module;
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle handle = nullptr;
};

// A signal of its own for every position, with exact and awkward values mixed in.
std::vector<float> arenaOf(std::size_t size)
{
    std::vector<float> arena(size);
    for (std::size_t i = 0; i < size; ++i) {
        arena[i] = std::sin(static_cast<float>(i) * 0.37f) * static_cast<float>(1 + i % 5);
    }
    const float awkward[] = {
        -0.0f,    std::numeric_limits<float>::denorm_min(), 3.0e38f,
        -3.0e38f, std::numeric_limits<float>::infinity(),   std::numeric_limits<float>::quiet_NaN()};
    for (std::size_t i = 0; i < std::size(awkward) && 11 * i < size; ++i) {
        arena[11 * i] = awkward[i];
    }
    return arena;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(Lv2Plugin, TheModuleDescribesOnePluginUnderItsUri)
{
    LoadedModule module(VELA_LV2_DSP_PATH);
    ASSERT_TRUE(module.isOpen()) << dlerror();
    const auto entry = module.entry<LV2_Descriptor_Function>("lv2_descriptor");
    ASSERT_NE(entry, nullptr);
    ASSERT_NE(entry(0), nullptr);
    EXPECT_STREQ(entry(0)->URI, kLv2PluginUri);
    EXPECT_EQ(entry(1), nullptr);
    EXPECT_EQ(entry(0)->extension_data("http://lv2plug.in/ns/ext/state#interface"), nullptr);
}

// Where the four audio ports point inside one arena, in whole blocks (b) and single frames (f).
struct Layout {
    const char* name;
    int inLeft[2];
    int inRight[2];
    int outLeft[2];
    int outRight[2];
};

constexpr Layout kLayouts[] = {
    {"separate", {0, 0}, {1, 0}, {2, 0}, {3, 0}},
    {"in place", {0, 0}, {1, 0}, {0, 0}, {1, 0}},
    {"in place crossed", {0, 0}, {1, 0}, {1, 0}, {0, 0}},
    {"one input buffer", {0, 0}, {0, 0}, {1, 0}, {2, 0}},
    {"one output buffer", {0, 0}, {1, 0}, {2, 0}, {2, 0}},
    {"everything one buffer", {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    {"outputs a frame ahead", {0, 0}, {1, 0}, {0, 1}, {1, 1}},
    {"outputs a frame behind", {0, 1}, {1, 1}, {0, 0}, {1, 0}},
    {"left output on the right input", {0, 0}, {1, 0}, {1, 3}, {2, 0}},
};

// A toggled port is on above zero only; off passes every bit through, on writes the mean.
struct SwitchCase {
    float port;
    bool mean;
};

constexpr SwitchCase kSwitchCases[] = {{0.0f, false},
                                       {1.0f, true},
                                       {0.5f, true},
                                       {-1.0f, false},
                                       {1.0e-30f, true},
                                       {-0.0f, false},
                                       {std::numeric_limits<float>::quiet_NaN(), false}};

TEST(Lv2Plugin, RunMixesExactlyAsTheFrameByFrameLoopForEveryConnection)
{
    const uint32_t frameCounts[] = {0, 1, 3, 8, 1024, 1031};
    for (const Layout& layout : kLayouts) {
        for (const uint32_t frames : frameCounts) {
            for (const SwitchCase& switchCase : kSwitchCases) {
                const std::size_t stride = frames + 8;
                std::vector<float> arena = arenaOf(4 * stride + 8);
                std::vector<float> expected = arena;
                const auto at = [&](std::vector<float>& buffer, const int(&place)[2]) {
                    return buffer.data() + place[0] * stride + place[1];
                };
                mixReference({at(expected, layout.inLeft), at(expected, layout.inRight), at(expected, layout.outLeft),
                              at(expected, layout.outRight), static_cast<int32_t>(frames)},
                             switchCase.mean, false);

                PluginInstance plugin;
                ASSERT_NE(plugin.handle, nullptr);
                float port = switchCase.port;
                plugin.connect(0, at(arena, layout.inLeft));
                plugin.connect(1, at(arena, layout.inRight));
                plugin.connect(2, at(arena, layout.outLeft));
                plugin.connect(3, at(arena, layout.outRight));
                plugin.connect(kSwitchPortIndex, &port);
                plugin.run(frames);
                EXPECT_TRUE(sameBits(arena, expected))
                    << layout.name << ", " << frames << " frames, switch " << switchCase.port;
            }
        }
    }
}

// A host may run before connecting everything, or disconnect a port with null.
TEST(Lv2Plugin, RunLeavesTheOutputsAloneWhileAPortIsUnconnected)
{
    for (uint32_t missing = 0; missing <= kSwitchPortIndex; ++missing) {
        std::vector<float> buffers[4] = {std::vector<float>(64, 1.0f), std::vector<float>(64, 3.0f),
                                         std::vector<float>(64, 7.0f), std::vector<float>(64, 7.0f)};
        float port = 1.0f;
        PluginInstance plugin;
        ASSERT_NE(plugin.handle, nullptr);
        for (uint32_t i = 0; i < 4; ++i) {
            plugin.connect(i, buffers[i].data());
        }
        plugin.connect(kSwitchPortIndex, &port);
        plugin.connect(missing, nullptr);
        plugin.connect(kSwitchPortIndex + 1, &port); // no such port: ignored
        plugin.run(64);
        EXPECT_EQ(buffers[2], std::vector<float>(64, 7.0f)) << "port " << missing << " unconnected";
        EXPECT_EQ(buffers[3], std::vector<float>(64, 7.0f)) << "port " << missing << " unconnected";
    }
}

std::string fileText(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The description is generated at build time; these are the names the VST 2 module reports.
TEST(Lv2Plugin, TheDescriptionCarriesTheProductsIdentity)
{
    const std::string description = fileText(VELA_LV2_BUNDLE_PATH "/vela.ttl");
    ASSERT_FALSE(description.empty());
    // The vendor string is the vendor's name, " v" and the version.
    const std::string vendorString = kVendorString;
    const std::size_t versionAt = vendorString.rfind(" v");
    ASSERT_NE(versionAt, std::string::npos);
    // The port carries the parameter's name without the blanks that pad it for VST 2 hosts; the
    // closing quote fails a name that still ends in blanks.
    std::string switchName = kSwitchName;
    switchName.erase(switchName.find_last_not_of(' ') + 1);
    const std::string expected[] = {
        std::string("doap:name \"") + kEffectName + "\"",
        "foaf:name \"" + vendorString.substr(0, versionAt) + "\"",
        "lv2:name \"" + switchName + "\"",
        "doap:revision \"" + vendorString.substr(versionAt + 2) + "\"",
        "lv2:default 0 ;",
        "lv2:portProperty lv2:toggled",
        "lv2:optionalFeature lv2:hardRTCapable",
    };
    for (const std::string& part : expected) {
        EXPECT_NE(description.find(part), std::string::npos) << part;
    }
}

} // namespace

} // namespace vela
