// SPDX-License-Identifier: MIT
#include "host/cli/text_format.h"

#include <cmath>
#include <cstdio>

namespace vela {

std::string fourCharText(int32_t code)
{
    const auto bits = static_cast<uint32_t>(code);
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto byte = static_cast<char>((bits >> shift) & 0xFFU);
        if (byte < 0x20 || byte > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", bits);
            return hex;
        }
        text += byte;
    }
    return text;
}

std::string fixedText(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string decibelText(double linear)
{
    if (!(linear > 0.0)) {
        return "-inf";
    }
    return fixedText(20.0 * std::log10(linear), 2);
}

} // namespace vela
