// SPDX-License-Identifier: MIT
#include "frame/display_format.h"

#include <cmath>
#include <cstring>

namespace vela {

namespace {

constexpr int kTextWidth = 8;
constexpr char kHugeText[] = " Huge!  ";
constexpr char kMinusInfinityText[] = "  -oo   ";
constexpr char kNotANumberText[] = "  nan   ";

constexpr double kPositiveLimit = 99999999.0;
constexpr double kNegativeLimit = 9999999.0;
constexpr int32_t kIntegerUpperLimit = 99999999;
constexpr int32_t kIntegerLowerLimit = -9999999;

void writeFixedText(const char* fixed, char* text)
{
    std::memcpy(text, fixed, std::strlen(fixed) + 1);
}

char digitCharacter(double digit)
{
    return static_cast<char>('0' + static_cast<int>(std::trunc(digit)));
}

} // namespace

void writeFloatText(float value, char* text, int8_t reservedPositions)
{
    if (std::isnan(value)) {
        writeFixedText(kNotANumberText, text);
        return;
    }

    double v = static_cast<double>(value);
    // A negative count would widen the text past the buffer, so it counts as none.
    int count = reservedPositions < 0 ? 0 : reservedPositions;
    bool negative = false;
    if (v < 0.0) {
        v = -v;
        negative = true;
        ++count;
        if (v > kNegativeLimit) {
            writeFixedText(kHugeText, text);
            return;
        }
    } else if (v > kPositiveLimit) {
        writeFixedText(kHugeText, text);
        return;
    }

    // Built from right to left, so the text starts at integerStart and ends at the separator.
    char integerPart[16];
    int integerStart = static_cast<int>(sizeof integerPart) - 1;
    integerPart[integerStart] = ':';
    double q = std::floor(v);
    integerPart[--integerStart] = digitCharacter(std::fmod(q, 10.0));
    q *= 0.1;
    count += 2;
    while (q >= 1.0) {
        integerPart[--integerStart] = digitCharacter(std::fmod(q, 10.0));
        q *= 0.1;
        ++count;
    }
    if (negative) {
        integerPart[--integerStart] = '-';
    }

    // The limits admit integer parts that fill the width with the separator still to come:
    // a text without its separator would read as a different number, so these are too large.
    const int integerLength = static_cast<int>(sizeof integerPart) - integerStart;
    if (integerLength > kTextWidth) {
        writeFixedText(kHugeText, text);
        return;
    }
    std::memcpy(text, integerPart + integerStart, static_cast<size_t>(integerLength));
    text[integerLength] = 0;

    if (count >= kTextWidth) {
        return;
    }

    // The fraction digits are truncated, never rounded: m is scaled and read digit by digit.
    const int fractionLength = kTextWidth - count;
    char* fraction = text + integerLength;
    double m = std::fmod(v, 1.0) * std::pow(10.0, fractionLength);
    for (int position = fractionLength - 1; position >= 0; --position) {
        if (m <= 0.0) {
            fraction[position] = '0';
        } else {
            fraction[position] = digitCharacter(std::fmod(m, 10.0));
            m *= 0.1;
        }
    }
    fraction[fractionLength] = 0;
}

void writeIntegerText(int32_t value, char* text)
{
    if (value > kIntegerUpperLimit || value < kIntegerLowerLimit) {
        writeFixedText(kHugeText, text);
        return;
    }
    char scratch[16];
    writeDecimal(value, 7, scratch);
    scratch[kTextWidth] = 0;
    writeFixedText(scratch, text);
}

std::size_t writeDecimal(int64_t value, std::size_t width, char* text)
{
    char reversed[24];
    std::size_t count = 0;
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        reversed[count++] = '-';
    }
    std::size_t length = 0;
    for (std::size_t pad = count; pad < width; ++pad) {
        text[length++] = ' ';
    }
    while (count > 0) {
        text[length++] = reversed[--count];
    }
    text[length] = 0;
    return length;
}

void writeMinusInfinityText(char* text)
{
    writeFixedText(kMinusInfinityText, text);
}

} // namespace vela
