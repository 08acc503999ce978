// The committed bitmap sheet (resource 103): its headers, its size and the layout that the
// button window draws from.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int sheetWidth = 256;
constexpr int sheetHeight = 252;
constexpr std::size_t fileHeaderSize = 14;
constexpr std::size_t rowSize = 768;
constexpr std::size_t pixelDataOffset = 54;
constexpr std::size_t resourceSize = 193578;  // info header, rows and two zero bytes
constexpr std::size_t fileSize = fileHeaderSize + resourceSize;

// Regions, with y growing downwards from the sheet's top left corner.
constexpr int offFaceTop = 96;
constexpr int faceHeight = 96;
constexpr int litTop = 192;
constexpr int litWidth = 222;
constexpr int litHeight = 60;
constexpr int buttonX = 17;  // in the face
constexpr int buttonY = 10;
constexpr int buttonWidth = 220;
constexpr int buttonHeight = 58;
constexpr int overlayX = 1;  // in the sheet
constexpr int overlayY = 193;
constexpr int frameWidth = 4;  // the rings of the dark frame drawn by tools/make_sheet.py

struct Rgb {
    int red;
    int green;
    int blue;
    bool operator==(const Rgb&) const = default;
};

constexpr Rgb black{0, 0, 0};

class BitmapSheet : public testing::Test {
protected:
    void SetUp() override
    {
        std::ifstream file(VELA_SOURCE_DIR "/resources/vela_sheet.bmp", std::ios::binary);
        ASSERT_TRUE(file) << "resources/vela_sheet.bmp cannot be read";
        bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    // Throws, and so fails the test, when the file is too short for the offset.
    unsigned byteAt(std::size_t offset) const { return static_cast<unsigned char>(bytes.at(offset)); }

    std::uint32_t little(std::size_t offset, int width) const
    {
        std::uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i) {
            value = (value << 8) | byteAt(offset + static_cast<std::size_t>(i));
        }
        return value;
    }

    // The rows are stored bottom row first, each pixel as blue, green, red.
    Rgb pixel(int x, int y) const
    {
        const std::size_t storedRow = static_cast<std::size_t>(sheetHeight - 1 - y);
        const std::size_t offset = pixelDataOffset + storedRow * rowSize + static_cast<std::size_t>(x) * 3;
        return {static_cast<int>(byteAt(offset + 2)), static_cast<int>(byteAt(offset + 1)),
                static_cast<int>(byteAt(offset))};
    }

    // Counts the pixels of the rectangle for which the test fails and names the first of them.
    static int countFailures(int left, int top, int width, int height, const std::function<bool(int, int)>& holds,
                             std::string& first)
    {
        int failures = 0;
        for (int y = top; y < top + height; ++y) {
            for (int x = left; x < left + width; ++x) {
                if (!holds(x, y) && failures++ == 0) {
                    first = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
                }
            }
        }
        return failures;
    }

    int countNotBlack(int left, int top, int width, int height, std::string& first) const
    {
        return countFailures(left, top, width, height, [this](int x, int y) { return pixel(x, y) == black; },
                             first);
    }

    std::vector<char> bytes;
};

TEST_F(BitmapSheet, FileHeaderNamesBitmapSizeAndPixelOffset)
{
    EXPECT_EQ(bytes.at(0), 'B');
    EXPECT_EQ(bytes.at(1), 'M');
    EXPECT_EQ(little(2, 4), fileSize);
    EXPECT_EQ(little(6, 2), 0u);
    EXPECT_EQ(little(8, 2), 0u);
    EXPECT_EQ(little(10, 4), pixelDataOffset);
}

TEST_F(BitmapSheet, InfoHeaderDescribes24BitBottomUpSheet)
{
    struct Field {
        const char* name;
        std::size_t offset;  // from the start of the info header
        int width;
        std::uint32_t expected;
    };
    const Field fields[] = {
        {"biSize", 0, 4, 40},
        {"biWidth", 4, 4, 256},
        {"biHeight", 8, 4, 252},  // positive: bottom row first
        {"biPlanes", 12, 2, 1},
        {"biBitCount", 14, 2, 24},
        {"biCompression", 16, 4, 0},  // BI_RGB
        {"biSizeImage", 20, 4, 0},
        {"biXPelsPerMeter", 24, 4, 2834},
        {"biYPelsPerMeter", 28, 4, 2834},
        {"biClrUsed", 32, 4, 0},
        {"biClrImportant", 36, 4, 0},
    };
    for (const Field& field : fields) {
        EXPECT_EQ(little(fileHeaderSize + field.offset, field.width), field.expected) << field.name;
    }
}

TEST_F(BitmapSheet, ResourceDataIsInfoHeaderRowsAndTwoZeroBytes)
{
    ASSERT_EQ(bytes.size(), fileSize);
    EXPECT_EQ(bytes.size() - fileHeaderSize, resourceSize);
    const std::size_t rowsEnd = pixelDataOffset + static_cast<std::size_t>(sheetHeight) * rowSize;
    EXPECT_EQ(bytes.size(), rowsEnd + 2);
    EXPECT_EQ(byteAt(rowsEnd), 0u);
    EXPECT_EQ(byteAt(rowsEnd + 1), 0u);
}

TEST_F(BitmapSheet, CompositionBandIsBlack)
{
    std::string first;
    EXPECT_EQ(countNotBlack(0, 0, sheetWidth, offFaceTop, first), 0) << "first at " << first;
}

TEST_F(BitmapSheet, LitAreaIsBlackRightOfTheLitButton)
{
    std::string first;
    EXPECT_EQ(countNotBlack(litWidth, litTop, sheetWidth - litWidth, litHeight, first), 0) << "first at " << first;
}

TEST_F(BitmapSheet, OffFaceHasOnePixelBlackBorder)
{
    const int bottom = offFaceTop + faceHeight - 1;
    const int right = sheetWidth - 1;
    std::string first;
    EXPECT_EQ(countNotBlack(0, offFaceTop, sheetWidth, 1, first), 0) << "top edge, first at " << first;
    EXPECT_EQ(countNotBlack(0, bottom, sheetWidth, 1, first), 0) << "bottom edge, first at " << first;
    EXPECT_EQ(countNotBlack(0, offFaceTop, 1, faceHeight, first), 0) << "left edge, first at " << first;
    EXPECT_EQ(countNotBlack(right, offFaceTop, 1, faceHeight, first), 0) << "right edge, first at " << first;

    // One pixel wide: the ring just inside the border is panel, with no black in it.
    const auto notBlack = [this](int x, int y) { return !(pixel(x, y) == black); };
    EXPECT_EQ(countFailures(1, offFaceTop + 1, sheetWidth - 2, 1, notBlack, first), 0) << "first at " << first;
    EXPECT_EQ(countFailures(1, bottom - 1, sheetWidth - 2, 1, notBlack, first), 0) << "first at " << first;
    EXPECT_EQ(countFailures(1, offFaceTop + 1, 1, faceHeight - 2, notBlack, first), 0) << "first at " << first;
    EXPECT_EQ(countFailures(right - 1, offFaceTop + 1, 1, faceHeight - 2, notBlack, first), 0)
        << "first at " << first;
}

TEST_F(BitmapSheet, LitButtonFrameMatchesOffFaceAtOverlayPosition)
{
    const auto frameMatches = [this](int x, int y) {
        const bool inFrame = x < frameWidth || y < frameWidth || x >= buttonWidth - frameWidth
                             || y >= buttonHeight - frameWidth;
        return !inFrame
               || pixel(overlayX + x, overlayY + y) == pixel(buttonX + x, offFaceTop + buttonY + y);
    };
    std::string first;
    EXPECT_EQ(countFailures(0, 0, buttonWidth, buttonHeight, frameMatches, first), 0)
        << "first mismatch at button pixel " << first;
}

TEST_F(BitmapSheet, LitButtonInsideDiffersFromUnlitButtonAndIsRedder)
{
    const int insideWidth = buttonWidth - 2 * frameWidth;
    const int insideHeight = buttonHeight - 2 * frameWidth;
    long litRed = 0;
    long unlitRed = 0;
    const auto differs = [&](int x, int y) {
        const Rgb lit = pixel(overlayX + x, overlayY + y);
        const Rgb unlit = pixel(buttonX + x, offFaceTop + buttonY + y);
        litRed += lit.red;
        unlitRed += unlit.red;
        return !(lit == unlit);
    };
    std::string first;
    EXPECT_EQ(countFailures(frameWidth, frameWidth, insideWidth, insideHeight, differs, first), 0)
        << "first equal pixel at button pixel " << first;
    const long pixels = static_cast<long>(insideWidth) * insideHeight;
    EXPECT_GT(litRed / pixels, unlitRed / pixels + 64) << "the lit button is not clearly brighter red";
}

TEST_F(BitmapSheet, LitAreaMarginMatchesFaceAroundButton)
{
    // The lit area is the face around the button, one pixel wider on each side.
    const auto isMargin = [](int x, int y) { return x == 0 || y == 0 || x == litWidth - 1 || y == litHeight - 1; };
    const auto matchesFace = [&](int x, int y) {
        return !isMargin(x, y)
               || pixel(x, litTop + y) == pixel(buttonX - 1 + x, offFaceTop + buttonY - 1 + y);
    };
    std::string first;
    EXPECT_EQ(countFailures(0, 0, litWidth, litHeight, matchesFace, first), 0) << "first mismatch at " << first;
}

}  // namespace
