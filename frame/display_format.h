// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

namespace vela {

// Short value texts for a host's parameter display. Each writes at most 8 characters and a
// terminating zero, so text must hold 9 bytes. The decimal separator is a colon.

// Decimal text of value with digits truncated: sign, integer digits, ':' and as many fraction
// digits as fill 8 positions less reservedPositions (a negative count counts as 0). The
// integer digits and the separator are always whole; " Huge!  " when they do not fit in 8
// characters or value is infinite, "  nan   " when value is not a number.
void writeFloatText(float value, char* text, int8_t reservedPositions);

// value right-aligned in 7 positions, or " Huge!  " outside -9999999 to 99999999.
void writeIntegerText(int32_t value, char* text);

// value in decimal, right-aligned in at least width positions, as printf's "%*d" writes it;
// text must hold those and a terminator. Answers the length.
std::size_t writeDecimal(int64_t value, std::size_t width, char* text);

// The text standing for minus infinity decibels.
void writeMinusInfinityText(char* text);

} // namespace vela
