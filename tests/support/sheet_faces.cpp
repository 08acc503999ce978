// SPDX-License-Identifier: MIT
#include "tests/support/sheet_faces.h"

#include <cstddef>
#include <fstream>
#include <iterator>
#include <sstream>

namespace vela {

std::vector<uint32_t> sheetPixels()
{
    std::ifstream file(VELA_SOURCE_DIR "/resources/vela_sheet.bmp", std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    constexpr int height = 252;
    constexpr std::size_t kDataOffset = 54;
    constexpr std::size_t kRowSize = kFaceWidth * 3;
    std::vector<uint32_t> pixels;
    if (bytes.size() < kDataOffset + kRowSize * height) {
        return pixels;
    }
    // Stored bottom row first, each pixel as blue, green, red.
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = &bytes[kDataOffset + kRowSize * static_cast<std::size_t>(height - 1 - y)];
        for (int x = 0; x < kFaceWidth; ++x) {
            pixels.push_back(static_cast<uint32_t>(row[3 * x + 2] << 16 | row[3 * x + 1] << 8 | row[3 * x]));
        }
    }
    return pixels;
}

std::vector<uint32_t> sheetFace(bool lit)
{
    const std::vector<uint32_t> sheet = sheetPixels();
    if (sheet.empty()) {
        return sheet;
    }
    std::vector<uint32_t> face(sheet.begin() + 96 * kFaceWidth, sheet.begin() + 192 * kFaceWidth);
    for (int y = 0; lit && y < 58; ++y) {
        for (int x = 0; x < 220; ++x) {
            face[static_cast<std::size_t>((10 + y) * kFaceWidth + 17 + x)] =
                sheet[static_cast<std::size_t>((193 + y) * kFaceWidth + 1 + x)];
        }
    }
    return face;
}

std::string firstDifference(const std::vector<uint32_t>& actual, const std::vector<uint32_t>& expected)
{
    if (expected.empty()) {
        return "no expected picture";
    }
    if (actual.size() != expected.size()) {
        return "sizes differ: " + std::to_string(actual.size()) + " and " + std::to_string(expected.size());
    }
    std::size_t first = actual.size();
    std::size_t count = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i]) {
            first = count == 0 ? i : first;
            ++count;
        }
    }
    if (count == 0) {
        return "";
    }
    std::ostringstream text;
    text << count << " pixels differ, the first at (" << first % kFaceWidth << ", " << first / kFaceWidth
         << "): " << std::hex << actual[first] << " instead of " << expected[first];
    return text.str();
}

} // namespace vela
