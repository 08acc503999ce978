// SPDX-License-Identifier: MIT
// The display conversions: every text fits a 9-byte buffer, and each one shows what it should.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "frame/display_format.h"
#include "frame/effect_core.h"

namespace vela {

namespace {

constexpr char kHuge[] = " Huge!  ";
constexpr char kMinusInfinity[] = "  -oo   ";
constexpr char kNotANumber[] = "  nan   ";
constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kQuietNaN = std::numeric_limits<float>::quiet_NaN();

// The smallest effect there is: the formatting operations are all the base's own.
class FormatEffect : public EffectCore {
public:
    explicit FormatEffect(float rate = 44100.0f) : EffectCore(nullptr, 1, 1) { setSampleRate(rate); }
    void process(float**, float**, int32_t) override {}
};

// Replaces formatFloat and getSampleRate, to see whether the converters reach them.
class OverridingEffect : public FormatEffect {
public:
    void formatFloat(float value, char* text, int8_t reservedPositions) override
    {
        formatted.push_back(value);
        reserved.push_back(reservedPositions);
        std::strcpy(text, "override");
    }
    float getSampleRate() override
    {
        ++rateFetches;
        return 1000.0f;
    }

    std::vector<float> formatted;
    std::vector<int8_t> reserved;
    int rateFetches = 0;
};

// Runs write on a 9-byte buffer of non-zero bytes followed by a canary byte, and answers the text; an overrun or a
// missing terminator fails the test.
std::string written(const std::function<void(char*)>& write)
{
    constexpr char kCanary = '\x5A';
    char bytes[10];
    std::memset(bytes, '#', 9);
    bytes[9] = kCanary;
    write(bytes);
    EXPECT_EQ(bytes[9], kCanary) << "byte 10 overwritten";
    if (std::memchr(bytes, 0, 9) == nullptr) {
        ADD_FAILURE() << "no terminator within 9 bytes";
        return "<unterminated>";
    }
    return bytes;
}

TEST(FormatFloat, WritesEachRow)
{
    struct Row {
        float value;
        int8_t reservedPositions;
        const char* text;
    };
    const Row rows[] = {
        {0.5f, 0, "0:500000"},
        {1234.5678f, 0, "1234:567"},
        {-3.25f, 0, "-3:25000"},
        {0.0f, 0, "0:000000"},
        {-0.0f, 0, "0:000000"},
        {0.7f, 0, "0:699999"},
        {440.0f, 0, "440:0000"},
        {1234567.0f, 0, "1234567:"},
        {-123456.0f, 0, "-123456:"},
        {100000000.0f, 0, kHuge},
        {-10000000.0f, 0, kHuge},
        {kInfinity, 0, kHuge},
        {-kInfinity, 0, kHuge},
        // Integer parts that leave no room for the separator are too large to show.
        {9999999.0f, 0, "9999999:"},
        {10000000.0f, 0, kHuge},
        {12345678.0f, 0, kHuge},
        {99999992.0f, 0, kHuge},
        {-999999.0f, 0, "-999999:"},
        {-999999.9375f, 0, "-999999:"},
        {-1000000.0f, 0, kHuge},
        {-1234567.0f, 0, kHuge},
        {-9999999.0f, 0, kHuge},
        // Reserved positions shorten the fraction only; a negative count counts as none.
        {0.5f, 2, "0:5000"},
        {-3.25f, 2, "-3:250"},
        {440.0f, 3, "440:0"},
        {440.0f, 4, "440:"},
        {1234567.0f, 2, "1234567:"},
        {-123456.0f, 5, "-123456:"},
        {0.5f, 7, "0:"},
        {0.5f, 127, "0:"},
        {-3.25f, 127, "-3:"},
        {12345678.0f, 2, kHuge},
        {0.5f, -1, "0:500000"},
        {-3.25f, -128, "-3:25000"},
        {1234567.0f, -128, "1234567:"},
        // Not a number, whatever its sign, payload or reservation (the sweep below tries more).
        {kQuietNaN, 0, kNotANumber},
        {-kQuietNaN, 127, kNotANumber},
        {std::bit_cast<float>(0x7FC12345u), -128, kNotANumber},
    };
    FormatEffect effect;
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.value << " reserving " << int{row.reservedPositions});
        EXPECT_EQ(written([&](char* text) { effect.formatFloat(row.value, text, row.reservedPositions); }), row.text);
    }
}

TEST(FormatConverters, WriteEachRow)
{
    const auto decibels = &EffectCore::formatDecibels;
    const auto frequency = &EffectCore::formatFrequency;
    const auto milliseconds = &EffectCore::formatMilliseconds;
    struct Row {
        void (EffectCore::*convert)(float, char*);
        float value;
        const char* text;
        float rate = 44100.0f;
    };
    const Row rows[] = {
        {decibels, 1.0f, "0:000000"},
        {decibels, 0.5f, "-6:02059"},
        {decibels, 2.0f, "6:020599"},
        {decibels, 0.0001f, "-80:0000"},
        {decibels, 0.0f, kMinusInfinity},
        {decibels, -1.0f, kMinusInfinity},
        {decibels, -0.0f, kMinusInfinity},
        {decibels, kQuietNaN, kMinusInfinity},
        {frequency, 100.0f, "441:0000"},
        {frequency, 1.0f, "44100:00"},
        {frequency, 0.0f, "0:000000"},
        {frequency, kQuietNaN, "0:000000"},
        {milliseconds, 441.0f, "10:00000"},
        {milliseconds, 1024.0f, "23:21995"},
        {milliseconds, 44100.0f, "1000:000"},
        {milliseconds, 48.0f, "1:000000", 48000.0f},
        // At a rate of 0, a length is infinitely long and no length is not a number.
        {milliseconds, 1.0f, kHuge, 0.0f},
        {milliseconds, -1.0f, kHuge, 0.0f},
        {milliseconds, 0.0f, kNotANumber, 0.0f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.value << " at " << row.rate);
        FormatEffect effect(row.rate);
        EXPECT_EQ(written([&](char* text) { (effect.*row.convert)(row.value, text); }), row.text);
    }
}

TEST(FormatInteger, WritesEachRow)
{
    struct Row {
        int32_t value;
        const char* text;
    };
    const Row rows[] = {
        {5, "      5"},         {-5, "     -5"},    {0, "      0"},         {12345678, "12345678"},
        {99999999, "99999999"}, {100000000, kHuge}, {-9999999, "-9999999"}, {-1000000, "-1000000"},
        {-10000000, kHuge},     {INT32_MAX, kHuge}, {INT32_MIN, kHuge},
    };
    FormatEffect effect;
    for (const Row& row : rows) {
        EXPECT_EQ(written([&](char* text) { effect.formatInteger(row.value, text); }), row.text) << row.value;
    }
}

TEST(FormatInteger, DecimalTextIsWhatPrintfWrites)
{
    const int64_t values[] = {0, 7, -7, 10, -10, 2147483647, -2147483648LL, INT64_MAX, INT64_MIN};
    for (const int64_t value : values) {
        for (const std::size_t width : {0, 1, 7, 25}) {
            char expected[40];
            std::snprintf(expected, sizeof expected, "%*lld", static_cast<int>(width), static_cast<long long>(value));
            char text[40];
            std::memset(text, '#', sizeof text);
            EXPECT_EQ(writeDecimal(value, width, text), std::strlen(expected)) << value << " in " << width;
            EXPECT_STREQ(text, expected) << value << " in " << width;
        }
    }
}

TEST(FormatConverters, ReachFormatFloatAndGetSampleRateThroughTheVirtualTable)
{
    OverridingEffect effect;
    EXPECT_EQ(written([&](char* text) { effect.formatFrequency(100.0f, text); }), "override");
    EXPECT_EQ(written([&](char* text) { effect.formatMilliseconds(500.0f, text); }), "override");
    // The rate is fetched even for a zero length.
    EXPECT_EQ(written([&](char* text) { effect.formatFrequency(0.0f, text); }), "override");
    EXPECT_EQ(effect.rateFetches, 3);
    EXPECT_EQ(written([&](char* text) { effect.formatDecibels(1.0f, text); }), "override");
    // Minus infinity decibels never reach formatFloat.
    EXPECT_EQ(written([&](char* text) { effect.formatDecibels(0.0f, text); }), kMinusInfinity);
    EXPECT_EQ(effect.formatted, (std::vector<float>{10.0f, 500.0f, 0.0f, 0.0f}));
    EXPECT_EQ(effect.reserved, (std::vector<int8_t>{0, 0, 0, 0}));
}

// Checks one float text: " Huge!  " or "  nan   " where due, otherwise the sign, the integer digits, ':' and as
// many fraction digits as fill the width less reservedPositions, each digit truncated toward zero.
void checkFloatText(float value, int8_t reservedPositions)
{
    const std::string text = written([&](char* t) { writeFloatText(value, t, reservedPositions); });
    SCOPED_TRACE("reserving " + std::to_string(reservedPositions) + " wrote \"" + text + '"');
    const double magnitude = std::fabs(static_cast<double>(value));
    const bool negative = value < 0.0f;
    if (std::isnan(value) || magnitude >= (negative ? 1000000.0 : 10000000.0)) {
        EXPECT_EQ(text, std::isnan(value) ? kNotANumber : kHuge);
        return;
    }
    const size_t separator = text.find(':');
    ASSERT_NE(separator, std::string::npos);
    EXPECT_EQ(text.find(':', separator + 1), std::string::npos);
    const size_t width = static_cast<size_t>(8 - std::clamp(int{reservedPositions}, 0, 8));
    EXPECT_EQ(text.size(), std::max(separator + 1, width));
    EXPECT_EQ(text[0] == '-', negative);
    std::string decimal = text;
    decimal[separator] = '.';
    char* end = nullptr;
    const double truncated = magnitude - std::fabs(std::strtod(decimal.c_str(), &end));
    EXPECT_EQ(*end, 0);
    const double tolerance = 1e-9 * std::max(1.0, magnitude);
    EXPECT_GT(truncated, -tolerance);
    EXPECT_LT(truncated, std::pow(10.0, -static_cast<double>(text.size() - separator - 1)) + tolerance);
}

TEST(FormatSweep, TextsStayWithinEightCharactersAndFloatTextsTruncateTheValue)
{
    // Every power of ten a float reaches, denormals included, and a few special and random values, each with its
    // two neighbours and both signs.
    std::vector<float> values = {kQuietNaN, -kQuietNaN, std::numeric_limits<float>::signaling_NaN(),
                                 std::bit_cast<float>(0xFFFFFFFFu)};
    auto addWithNeighbours = [&](float value) {
        for (const float v : {value, std::nextafter(value, kInfinity), std::nextafter(value, -kInfinity)}) {
            values.push_back(v);
            values.push_back(-v);
        }
    };
    for (int exponent = -45; exponent <= 38; ++exponent) {
        addWithNeighbours(static_cast<float>(std::pow(10.0, exponent)));
    }
    for (const float value : {0.0f,
                              std::numeric_limits<float>::denorm_min(),
                              std::bit_cast<float>(0x007FFFFFu),
                              std::bit_cast<float>(0x00400000u),
                              std::numeric_limits<float>::min(),
                              std::numeric_limits<float>::max(),
                              kInfinity,
                              0.5f,
                              0.7f,
                              1.0f,
                              9.0f,
                              99.0f,
                              999999.0f,
                              1000000.0f,
                              9999999.0f,
                              10000000.0f,
                              99999992.0f,
                              100000000.0f,
                              1234567.875f,
                              999999.9375f}) {
        addWithNeighbours(value);
    }
    std::mt19937 generator(20240501u);
    std::uniform_int_distribution<uint32_t> bits;
    std::uniform_real_distribution<double> inRange(-1.1e7, 1.1e8);
    std::uniform_real_distribution<double> small(-2.0, 2.0);
    for (int i = 0; i < 500; ++i) {
        values.push_back(std::bit_cast<float>(bits(generator)));
        values.push_back(static_cast<float>(inRange(generator)));
        values.push_back(static_cast<float>(small(generator)));
    }

    FormatEffect effects[] = {FormatEffect(44100.0f), FormatEffect(0.0f), FormatEffect(kQuietNaN),
                              FormatEffect(std::numeric_limits<float>::denorm_min()), FormatEffect(-48000.0f)};
    for (const float value : values) {
        SCOPED_TRACE(value);
        for (const int8_t reservedPositions : std::initializer_list<int8_t>{0, 1, 2, 5, 7, 8, 127, -1, -128}) {
            checkFloatText(value, reservedPositions);
        }
        for (FormatEffect& effect : effects) {
            EXPECT_LE(written([&](char* text) { effect.formatDecibels(value, text); }).size(), 8u);
            EXPECT_LE(written([&](char* text) { effect.formatFrequency(value, text); }).size(), 8u);
            EXPECT_LE(written([&](char* text) { effect.formatMilliseconds(value, text); }).size(), 8u);
        }
        if (HasFailure()) {
            return;
        }
    }
}

} // namespace

} // namespace vela
