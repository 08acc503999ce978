#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame/display_format.h"
#include "frame/effect_core.h"

namespace {

constexpr char huge[] = " Huge!  ";
constexpr char minusInfinity[] = "  -oo   ";
constexpr char notANumber[] = "  nan   ";
constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr float quietNaN = std::numeric_limits<float>::quiet_NaN();

// The smallest effect there is: the formatting operations are all the base's own.
class FormatEffect : public EffectCore {
public:
    FormatEffect() : EffectCore(nullptr, 1, 1) {}
    void process(float**, float**, int32_t) override {}
};

// Replaces formatFloat and getSampleRate, to see whether the converters reach them.
class OverridingEffect : public EffectCore {
public:
    OverridingEffect() : EffectCore(nullptr, 1, 1) {}
    void process(float**, float**, int32_t) override {}

    void formatFloat(float value, char* text, int8_t reservedPositions) override
    {
        formatFloatValues.push_back(value);
        formatFloatReservedPositions.push_back(reservedPositions);
        std::strcpy(text, "override");
    }

    float getSampleRate() override
    {
        ++sampleRateFetches;
        return 1000.0f;
    }

    std::vector<float> formatFloatValues;
    std::vector<int8_t> formatFloatReservedPositions;
    int sampleRateFetches = 0;
};

constexpr char canary = '\x5A';
constexpr size_t textSize = 9;

// A 9-byte text buffer, filled with non-zero bytes, followed by a canary byte.
struct GuardedText {
    char bytes[textSize + 1];

    GuardedText()
    {
        std::memset(bytes, '#', textSize);
        bytes[textSize] = canary;
    }

    bool canaryIntact() const { return bytes[textSize] == canary; }
    bool terminated() const { return std::memchr(bytes, 0, textSize) != nullptr; }
    std::string text() const { return terminated() ? std::string(bytes) : std::string("<unterminated>"); }
};

// Runs write on a guarded buffer and answers the text, failing the test on an overrun.
std::string written(const std::function<void(char*)>& write)
{
    GuardedText buffer;
    write(buffer.bytes);
    EXPECT_TRUE(buffer.canaryIntact()) << "byte 10 overwritten";
    EXPECT_TRUE(buffer.terminated()) << "no terminator within 9 bytes";
    return buffer.text();
}

std::string floatText(EffectCore& effect, float value, int8_t reservedPositions = 0)
{
    return written([&](char* text) { effect.formatFloat(value, text, reservedPositions); });
}

struct FloatRow {
    float value;
    const char* text;
};

struct IntegerRow {
    int32_t value;
    const char* text;
};

TEST(FormatFloat, WritesEverySpecifiedRow)
{
    const FloatRow rows[] = {
        {0.5f, "0:500000"},
        {1234.5678f, "1234:567"},
        {-3.25f, "-3:25000"},
        {0.0f, "0:000000"},
        {-0.0f, "0:000000"},
        {0.7f, "0:699999"},
        {440.0f, "440:0000"},
        {1234567.0f, "1234567:"},
        {-123456.0f, "-123456:"},
        {100000000.0f, huge},
        {-10000000.0f, huge},
        {infinity, huge},
        {-infinity, huge},
    };
    FormatEffect effect;
    for (const FloatRow& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(floatText(effect, row.value), row.text);
    }
}

TEST(FormatFloat, ShowsTheDigitsOfTheFloatTheValueBecame)
{
    EXPECT_EQ(static_cast<double>(1234.5678f), 1234.5677490234375);
    EXPECT_LT(static_cast<double>(0.7f), 0.7);
}

TEST(FormatFloat, ReservedPositionsShortenTheFraction)
{
    FormatEffect effect;
    EXPECT_EQ(floatText(effect, 0.5f, 2), "0:5000");
    EXPECT_EQ(floatText(effect, -3.25f, 2), "-3:250");
    EXPECT_EQ(floatText(effect, 440.0f, 3), "440:0");
    EXPECT_EQ(floatText(effect, 440.0f, 4), "440:");
}

TEST(FormatFloat, ReservedPositionsNeverCutTheIntegerDigitsOrSeparator)
{
    FormatEffect effect;
    EXPECT_EQ(floatText(effect, 1234567.0f, 2), "1234567:");
    EXPECT_EQ(floatText(effect, -123456.0f, 5), "-123456:");
    EXPECT_EQ(floatText(effect, 0.5f, 7), "0:");
    EXPECT_EQ(floatText(effect, 0.5f, 127), "0:");
    EXPECT_EQ(floatText(effect, -3.25f, 127), "-3:");
    EXPECT_EQ(floatText(effect, 12345678.0f, 2), huge);
}

TEST(FormatFloat, NegativeReservedPositionsCountAsNone)
{
    FormatEffect effect;
    EXPECT_EQ(floatText(effect, 0.5f, -1), "0:500000");
    EXPECT_EQ(floatText(effect, -3.25f, -128), "-3:25000");
    EXPECT_EQ(floatText(effect, 1234567.0f, -128), "1234567:");
}

TEST(FormatFloat, IntegerPartsThatLeaveNoRoomForTheSeparatorAreHuge)
{
    FormatEffect effect;
    const FloatRow rows[] = {
        {9999999.0f, "9999999:"},
        {10000000.0f, huge},
        {12345678.0f, huge},
        {99999992.0f, huge},  // the largest float within the positive limit
        {-999999.0f, "-999999:"},
        {-999999.9375f, "-999999:"},
        {-1000000.0f, huge},
        {-1234567.0f, huge},
        {-9999999.0f, huge},
    };
    for (const FloatRow& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(floatText(effect, row.value), row.text);
    }
}

TEST(FormatFloat, NotANumberShowsNan)
{
    FormatEffect effect;
    EXPECT_EQ(floatText(effect, quietNaN), notANumber);
    EXPECT_EQ(floatText(effect, -quietNaN), notANumber);
    EXPECT_EQ(floatText(effect, std::numeric_limits<float>::signaling_NaN()), notANumber);
    EXPECT_EQ(floatText(effect, std::bit_cast<float>(0x7FC12345u)), notANumber);
    EXPECT_EQ(floatText(effect, quietNaN, 127), notANumber);
    EXPECT_EQ(floatText(effect, quietNaN, -128), notANumber);
}

TEST(FormatDecibels, WritesEverySpecifiedRow)
{
    const FloatRow rows[] = {
        {1.0f, "0:000000"},
        {0.5f, "-6:02059"},
        {2.0f, "6:020599"},
        {0.0001f, "-80:0000"},
        {0.0f, minusInfinity},
        {-1.0f, minusInfinity},
    };
    FormatEffect effect;
    for (const FloatRow& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(written([&](char* text) { effect.formatDecibels(row.value, text); }), row.text);
    }
}

TEST(FormatDecibels, NotANumberAndNegativeZeroShowMinusInfinity)
{
    FormatEffect effect;
    EXPECT_EQ(written([&](char* text) { effect.formatDecibels(quietNaN, text); }), minusInfinity);
    EXPECT_EQ(written([&](char* text) { effect.formatDecibels(-0.0f, text); }), minusInfinity);
    EXPECT_EQ(written([&](char* text) { writeMinusInfinityText(text); }), minusInfinity);
}

TEST(FormatFrequency, WritesEverySpecifiedRowAt44100)
{
    const FloatRow rows[] = {
        {100.0f, "441:0000"},
        {1.0f, "44100:00"},
        {0.0f, "0:000000"},
    };
    FormatEffect effect;
    effect.setSampleRate(44100.0f);
    for (const FloatRow& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(written([&](char* text) { effect.formatFrequency(row.value, text); }), row.text);
    }
}

TEST(FormatFrequency, NotANumberLengthShowsZero)
{
    FormatEffect effect;
    EXPECT_EQ(written([&](char* text) { effect.formatFrequency(quietNaN, text); }), "0:000000");
}

TEST(FormatMilliseconds, WritesEverySpecifiedRowAt44100)
{
    const FloatRow rows[] = {
        {441.0f, "10:00000"},
        {1024.0f, "23:21995"},
        {44100.0f, "1000:000"},
    };
    FormatEffect effect;
    effect.setSampleRate(44100.0f);
    for (const FloatRow& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(written([&](char* text) { effect.formatMilliseconds(row.value, text); }), row.text);
    }
}

TEST(FormatMilliseconds, FollowsTheSampleRateTheHostSets)
{
    FormatEffect effect;
    effect.setSampleRate(48000.0f);
    EXPECT_EQ(written([&](char* text) { effect.formatMilliseconds(48.0f, text); }), "1:000000");
}

TEST(FormatMilliseconds, ZeroRateShowsHugeForALengthAndNanForNoLength)
{
    FormatEffect effect;
    effect.setSampleRate(0.0f);
    EXPECT_EQ(written([&](char* text) { effect.formatMilliseconds(1.0f, text); }), huge);
    EXPECT_EQ(written([&](char* text) { effect.formatMilliseconds(-1.0f, text); }), huge);
    EXPECT_EQ(written([&](char* text) { effect.formatMilliseconds(0.0f, text); }), notANumber);
}

TEST(FormatInteger, WritesEverySpecifiedRow)
{
    const IntegerRow rows[] = {
        {5, "      5"},
        {-5, "     -5"},
        {12345678, "12345678"},
        {99999999, "99999999"},
        {100000000, huge},
        {-9999999, "-9999999"},
        {-10000000, huge},
    };
    FormatEffect effect;
    for (const IntegerRow& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(written([&](char* text) { effect.formatInteger(row.value, text); }), row.text);
    }
}

TEST(FormatConverters, ReachFormatFloatThroughTheVirtualTable)
{
    OverridingEffect effect;
    EXPECT_EQ(written([&](char* text) { effect.formatDecibels(1.0f, text); }), "override");
    EXPECT_EQ(written([&](char* text) { effect.formatFrequency(100.0f, text); }), "override");
    EXPECT_EQ(written([&](char* text) { effect.formatMilliseconds(500.0f, text); }), "override");
    EXPECT_EQ(effect.formatFloatValues, (std::vector<float>{0.0f, 10.0f, 500.0f}));
    EXPECT_EQ(effect.formatFloatReservedPositions, (std::vector<int8_t>{0, 0, 0}));
}

TEST(FormatConverters, ReachGetSampleRateThroughTheVirtualTable)
{
    OverridingEffect effect;
    effect.setSampleRate(44100.0f);
    written([&](char* text) { effect.formatFrequency(100.0f, text); });
    written([&](char* text) { effect.formatMilliseconds(500.0f, text); });
    EXPECT_EQ(effect.sampleRateFetches, 2);
    EXPECT_EQ(effect.formatFloatValues, (std::vector<float>{10.0f, 500.0f}));
}

TEST(FormatConverters, FrequencyFetchesTheRateEvenForAZeroLength)
{
    OverridingEffect effect;
    written([&](char* text) { effect.formatFrequency(0.0f, text); });
    EXPECT_EQ(effect.sampleRateFetches, 1);
    EXPECT_EQ(effect.formatFloatValues, (std::vector<float>{0.0f}));
}

TEST(FormatConverters, MinusInfinityDecibelsBypassFormatFloat)
{
    OverridingEffect effect;
    EXPECT_EQ(written([&](char* text) { effect.formatDecibels(0.0f, text); }), minusInfinity);
    EXPECT_TRUE(effect.formatFloatValues.empty());
}

// Checks one writeFloatText result: length, shape, and that its digits are the value's
// digits truncated toward zero. Answers false on the first failure.
bool checkFloatText(float value, int8_t reservedPositions)
{
    GuardedText buffer;
    writeFloatText(value, buffer.bytes, reservedPositions);
    if (!buffer.canaryIntact() || !buffer.terminated()) {
        ADD_FAILURE() << "overrun for " << value << " reserving " << int{reservedPositions};
        return false;
    }
    const std::string text = buffer.text();
    if (std::isnan(value)) {
        EXPECT_EQ(text, notANumber);
        return text == notANumber;
    }
    const double magnitude = std::fabs(static_cast<double>(value));
    const bool negative = value < 0.0f;
    const bool tooLarge = negative ? magnitude >= 1000000.0 : magnitude >= 10000000.0;
    if (tooLarge) {
        EXPECT_EQ(text, huge) << value;
        return text == huge;
    }
    const size_t separator = text.find(':');
    const size_t integerLength = separator + 1;
    const size_t width = static_cast<size_t>(std::max(0, 8 - std::max(0, int{reservedPositions})));
    const size_t expectedLength = std::max(integerLength, width);
    const size_t fractionLength = text.size() - integerLength;
    std::string decimal = text;
    if (separator != std::string::npos) {
        decimal[separator] = '.';
    }
    char* end = nullptr;
    const double shown = std::strtod(decimal.c_str(), &end);
    const double truncated = magnitude - std::fabs(shown);
    const double tolerance = 1e-9 * std::max(1.0, magnitude);
    const bool ok = separator != std::string::npos && text.find(':', integerLength) == std::string::npos &&
                    text.size() == expectedLength && *end == 0 && (text[0] == '-') == negative &&
                    truncated > -tolerance && truncated < std::pow(10.0, -static_cast<double>(fractionLength)) + tolerance;
    EXPECT_TRUE(ok) << "value " << value << " reserving " << int{reservedPositions} << " wrote \"" << text << '"';
    return ok;
}

bool checkFloatTextAllReservations(float value)
{
    const int8_t reservations[] = {0, 1, 2, 5, 7, 8, 127, -1, -128};
    for (const int8_t reservedPositions : reservations) {
        if (!checkFloatText(value, reservedPositions)) {
            return false;
        }
    }
    return true;
}

// Runs the converters on value at a few rates, each on a guarded buffer.
bool checkConverters(FormatEffect& effect, float value)
{
    const std::function<void(char*)> writes[] = {
        [&](char* text) { effect.formatDecibels(value, text); },
        [&](char* text) { effect.formatFrequency(value, text); },
        [&](char* text) { effect.formatMilliseconds(value, text); },
    };
    for (const auto& write : writes) {
        GuardedText buffer;
        write(buffer.bytes);
        if (!buffer.canaryIntact() || !buffer.terminated() || buffer.text().size() > 8) {
            ADD_FAILURE() << "converter overrun for " << value << " at rate " << effect.getSampleRate();
            return false;
        }
    }
    return true;
}

std::vector<float> sweepValues()
{
    std::vector<float> values;
    auto addWithNeighbours = [&](float value) {
        for (const float v : {value, std::nextafter(value, infinity), std::nextafter(value, -infinity)}) {
            values.push_back(v);
            values.push_back(-v);
        }
    };
    for (int exponent = -45; exponent <= 38; ++exponent) {
        addWithNeighbours(static_cast<float>(std::pow(10.0, exponent)));
    }
    const float specials[] = {
        0.0f, std::numeric_limits<float>::denorm_min(), std::bit_cast<float>(0x007FFFFFu),
        std::bit_cast<float>(0x00400000u), std::numeric_limits<float>::min(),
        std::numeric_limits<float>::max(), infinity, 0.5f, 0.7f, 1.0f, 9.0f, 99.0f,
        999999.0f, 1000000.0f, 9999999.0f, 10000000.0f, 99999992.0f, 100000000.0f,
        1234567.875f, 999999.9375f,
    };
    for (const float value : specials) {
        addWithNeighbours(value);
    }
    values.push_back(quietNaN);
    values.push_back(-quietNaN);
    values.push_back(std::numeric_limits<float>::signaling_NaN());
    values.push_back(std::bit_cast<float>(0xFFFFFFFFu));

    std::mt19937 generator(20240501u);
    std::uniform_int_distribution<uint32_t> bits;
    std::uniform_real_distribution<double> inRange(-1.1e7, 1.1e8);
    std::uniform_real_distribution<double> small(-2.0, 2.0);
    for (int i = 0; i < 20000; ++i) {
        values.push_back(std::bit_cast<float>(bits(generator)));
        values.push_back(static_cast<float>(inRange(generator)));
        values.push_back(static_cast<float>(small(generator)));
    }
    return values;
}

TEST(FormatSweep, FloatTextsStayWithinEightCharactersAndTruncateTheValue)
{
    for (const float value : sweepValues()) {
        if (!checkFloatTextAllReservations(value)) {
            return;
        }
    }
}

TEST(FormatSweep, FloatTextsFitAnExactNineByteBlock)
{
    // On the heap, so the address sanitizer sees a write past the ninth byte too.
    const std::unique_ptr<char[]> text(new char[textSize]);
    for (const float value : sweepValues()) {
        for (const int8_t reservedPositions : {int8_t{0}, int8_t{127}, int8_t{-128}}) {
            writeFloatText(value, text.get(), reservedPositions);
            ASSERT_NE(std::memchr(text.get(), 0, textSize), nullptr) << value;
        }
    }
}

TEST(FormatSweep, ConverterTextsStayWithinEightCharacters)
{
    FormatEffect effect;
    const std::vector<float> values = sweepValues();
    for (const float rate : {44100.0f, 0.0f, std::numeric_limits<float>::denorm_min(), quietNaN, -48000.0f}) {
        effect.setSampleRate(rate);
        for (size_t i = 0; i < values.size(); i += 7) {
            if (!checkConverters(effect, values[i])) {
                return;
            }
        }
    }
}

TEST(FormatSweep, IntegerTextsStayWithinEightCharactersAroundEveryBoundary)
{
    const int32_t bounds[] = {
        std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 0, 1, 9, 10,
        999999, 1000000, 9999999, 10000000, 99999999, 100000000, 1000000000,
    };
    std::vector<int64_t> values;
    for (const int32_t bound : bounds) {
        for (int64_t delta = -2; delta <= 2; ++delta) {
            values.push_back(int64_t{bound} + delta);
            values.push_back(-(int64_t{bound} + delta));
        }
    }
    std::mt19937 generator(7u);
    std::uniform_int_distribution<int32_t> any(std::numeric_limits<int32_t>::min(),
                                               std::numeric_limits<int32_t>::max());
    for (int i = 0; i < 20000; ++i) {
        values.push_back(any(generator));
        values.push_back(any(generator) % 200000000);
    }

    const std::unique_ptr<char[]> exact(new char[textSize]);
    for (const int64_t wide : values) {
        if (wide < std::numeric_limits<int32_t>::min() || wide > std::numeric_limits<int32_t>::max()) {
            continue;
        }
        const auto value = static_cast<int32_t>(wide);
        GuardedText buffer;
        writeIntegerText(value, buffer.bytes);
        writeIntegerText(value, exact.get());
        ASSERT_TRUE(buffer.canaryIntact()) << value;
        ASSERT_TRUE(buffer.terminated()) << value;
        std::string expected = std::to_string(value);
        if (value > 99999999 || value < -9999999) {
            expected = huge;
        } else if (expected.size() < 7) {
            expected.insert(0, 7 - expected.size(), ' ');
        }
        ASSERT_EQ(buffer.text(), expected) << value;
    }
}

} // namespace
