// SPDX-License-Identifier: MIT
// The committed bitmap sheet (resource 103): its headers, its size and the layout that the
// button window draws from.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/sheet_faces.h"

namespace vela {

namespace {

constexpr std::size_t kRowsEnd = 54 + 252 * 768; // both headers, then 252 rows of 256 pixels

// Where the rectangle's pixels fail the test: how many, and the first; empty when none does.
std::string failures(int left, int top, int width, int height, const std::function<bool(int, int)>& holds)
{
    int count = 0;
    std::string first;
    for (int y = top; y < top + height; ++y) {
        for (int x = left; x < left + width; ++x) {
            if (!holds(x, y) && count++ == 0) {
                first = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
            }
        }
    }
    return count == 0 ? "" : std::to_string(count) + " pixels, the first at " + first;
}

TEST(BitmapSheet, HeadersDescribeA24BitBottomUpSheetFollowedByTwoZeroBytes)
{
    std::ifstream file(VELA_SOURCE_DIR "/resources/vela_sheet.bmp", std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The file header, then the resource data: info header, rows and two zero bytes.
    ASSERT_EQ(bytes.size(), 14u + 193578u);
    ASSERT_EQ(bytes.size(), kRowsEnd + 2);
    EXPECT_EQ(bytes[kRowsEnd], 0);
    EXPECT_EQ(bytes[kRowsEnd + 1], 0);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 2), "BM");
    struct Field {
        const char* name;
        std::size_t offset;
        int width;
        std::uint32_t expected;
    };
    const Field fields[] = {
        {"file size", 2, 4, 14 + 193578},
        {"reserved", 6, 4, 0},
        {"pixel data offset", 10, 4, 54},
        {"biSize", 14, 4, 40},
        {"biWidth", 18, 4, 256},
        {"biHeight, positive: bottom row first", 22, 4, 252},
        {"biPlanes", 26, 2, 1},
        {"biBitCount", 28, 2, 24},
        {"biCompression: BI_RGB", 30, 4, 0},
        {"biSizeImage", 34, 4, 0},
        {"biXPelsPerMeter", 38, 4, 2834},
        {"biYPelsPerMeter", 42, 4, 2834},
        {"biClrUsed", 46, 4, 0},
        {"biClrImportant", 50, 4, 0},
    };
    for (const Field& field : fields) {
        std::uint32_t value = 0;
        for (int i = field.width - 1; i >= 0; --i) {
            value = value << 8 | bytes[field.offset + static_cast<std::size_t>(i)];
        }
        EXPECT_EQ(value, field.expected) << field.name;
    }
}

class BitmapSheetPixels : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(sheet.size(), 256u * 252u) << "resources/vela_sheet.bmp cannot be read"; }
    std::uint32_t at(int x, int y) const { return sheet[static_cast<std::size_t>(y * 256 + x)]; }

    const std::vector<std::uint32_t> sheet = sheetPixels();
};

TEST_F(BitmapSheetPixels, BlackWhereNothingIsDrawnAndAroundTheOffFace)
{
    const auto black = [this](int x, int y) { return at(x, y) == 0; };
    EXPECT_EQ(failures(0, 0, 256, 96, black), "") << "the composition band";
    EXPECT_EQ(failures(222, 192, 34, 60, black), "") << "right of the lit button";
    // The off face, rows 96 to 191, has a black border one pixel wide: the ring inside is panel.
    EXPECT_EQ(failures(0, 96, 256, 96,
                       [this](int x, int y) {
                           const int ring = std::min({x, y - 96, 255 - x, 191 - y});
                           return ring > 1 || (at(x, y) == 0) == (ring == 0);
                       }),
              "");
}

TEST_F(BitmapSheetPixels, LitAreaMatchesTheOffFaceAroundTheButtonAndDiffersInside)
{
    // The lit area, 222 by 60 at (0, 192), is the face around the button (the off face from
    // (16, 105)), one pixel wider on each side. Its margin and the button's dark frame, four
    // rings drawn by tools/make_sheet.py, match the off face; inside, every pixel differs.
    long litRed = 0;
    long offRed = 0;
    EXPECT_EQ(failures(0, 0, 222, 60,
                       [&](int x, int y) {
                           const std::uint32_t lit = at(x, 192 + y);
                           const std::uint32_t off = at(16 + x, 105 + y);
                           if (std::min({x, y, 221 - x, 59 - y}) < 5) {
                               return lit == off;
                           }
                           litRed += lit >> 16;
                           offRed += off >> 16;
                           return lit != off;
                       }),
              "");
    const long inside = 212 * 50;
    EXPECT_GT(litRed / inside, offRed / inside + 64) << "the lit button is not clearly brighter red";
}

} // namespace

} // namespace vela
