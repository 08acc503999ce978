// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace vela {

// How codes and measurements read in the tool's output.

// A four-character code as text: "VeLE", or hexadecimal when a byte is not printable.
std::string fourCharText(int32_t code);

// A number with a fixed count of decimals.
std::string fixedText(double value, int decimals);

// A level relative to full scale, "-6.02"; "-inf" for silence.
std::string decibelText(double linear);

} // namespace vela
