// SPDX-License-Identifier: MIT
// The bitmap decoder the X11 window system loads the sheet with, on small files made here and on
// the module's own sheet.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "editor/platform/bmp_image.h"
#include "editor/platform/module_resources.h"
#include "effect/identity.h"
#include "tests/support/sheet_faces.h"

namespace vela {

namespace {

void putLittle(std::vector<unsigned char>& bytes, std::size_t offset, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i) {
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// A 24-bit file of width × height (negative height: top row first) whose pixel (x, y) in
// picture order is red x, green y, blue 7.
std::vector<unsigned char> bmpFile(int width, int height)
{
    const int rows = height < 0 ? -height : height;
    const std::size_t rowSize = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<unsigned char> bytes(54 + rowSize * static_cast<std::size_t>(rows), 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    putLittle(bytes, 2, static_cast<uint32_t>(bytes.size()), 4);
    putLittle(bytes, 10, 54, 4);
    putLittle(bytes, 14, 40, 4);
    putLittle(bytes, 18, static_cast<uint32_t>(width), 4);
    putLittle(bytes, 22, static_cast<uint32_t>(height), 4);
    putLittle(bytes, 26, 1, 2);
    putLittle(bytes, 28, 24, 2);
    for (int y = 0; y < rows; ++y) {
        const int stored = height > 0 ? rows - 1 - y : y;
        for (int x = 0; x < width; ++x) {
            unsigned char* bgr = bytes.data() + 54 + rowSize * static_cast<std::size_t>(stored) + 3 * x;
            bgr[0] = 7;
            bgr[1] = static_cast<unsigned char>(y);
            bgr[2] = static_cast<unsigned char>(x);
        }
    }
    return bytes;
}

TEST(BmpImage, DecodesBottomUpAndTopDownRowsWithTheirPadding)
{
    for (const int height : {3, -3}) {
        for (const int width : {1, 2, 3, 4, 5}) {
            SCOPED_TRACE("width " + std::to_string(width) + " height " + std::to_string(height));
            const std::vector<unsigned char> bytes = bmpFile(width, height);
            const auto image = BmpImage::decode(bytes.data(), bytes.size());
            ASSERT_TRUE(image);
            ASSERT_EQ(image->width(), width);
            ASSERT_EQ(image->height(), 3);
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < width; ++x) {
                    const BmpImage::Rgb expected{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 7};
                    EXPECT_EQ(image->pixel(x, y), expected) << "at (" << x << ", " << y << ")";
                }
            }
        }
    }
}

TEST(BmpImage, RefusesWhatIsNotAPlain24BitBitmapInsideItsBytes)
{
    struct Case {
        const char* name;
        std::function<void(std::vector<unsigned char>&)> spoil;
    };
    const Case cases[] = {
        {"wrong magic", [](auto& b) { b[1] = 'X'; }},
        {"8 bits per pixel", [](auto& b) { putLittle(b, 28, 8, 2); }},
        {"two planes", [](auto& b) { putLittle(b, 26, 2, 2); }},
        {"compressed", [](auto& b) { putLittle(b, 30, 1, 4); }},
        {"small info header", [](auto& b) { putLittle(b, 14, 12, 4); }},
        {"zero width", [](auto& b) { putLittle(b, 18, 0, 4); }},
        {"negative width", [](auto& b) { putLittle(b, 18, static_cast<uint32_t>(-4), 4); }},
        {"zero height", [](auto& b) { putLittle(b, 22, 0, 4); }},
        {"too wide", [](auto& b) { putLittle(b, 18, 4097, 4); }},
        {"too tall top down", [](auto& b) { putLittle(b, 22, static_cast<uint32_t>(-4097), 4); }},
        {"last row cut short", [](auto& b) { b.pop_back(); }},
        {"pixels inside the headers", [](auto& b) { putLittle(b, 10, 20, 4); }},
        {"pixels past the end", [](auto& b) { putLittle(b, 10, 0xFFFFFFF0u, 4); }},
        {"headers cut short", [](auto& b) { b.resize(40); }},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> bytes = bmpFile(4, 4);
        ASSERT_TRUE(BmpImage::decode(bytes.data(), bytes.size())) << "the unspoilt file";
        c.spoil(bytes);
        EXPECT_FALSE(BmpImage::decode(bytes.data(), bytes.size())) << c.name;
    }
    EXPECT_FALSE(BmpImage::decode(nullptr, 100));
}

TEST(BmpImage, TheEmbeddedSheetDecodesToTheCommittedSheet)
{
    const ModuleResource* sheet = findModuleResource(kSheetResourceId);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(findModuleResource(kSheetResourceId + 1), nullptr);
    const auto image = BmpImage::decode(sheet->bytes, sheet->size);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width(), kFaceWidth);
    ASSERT_EQ(image->height(), 252);
    // The whole sheet, as the test support reads it from the committed file.
    const std::vector<uint32_t> expected = sheetPixels();
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(kFaceWidth) * 252);
    int differing = 0;
    for (int y = 0; y < image->height(); ++y) {
        for (int x = 0; x < image->width(); ++x) {
            const BmpImage::Rgb rgb = image->pixel(x, y);
            const uint32_t pixel = uint32_t{rgb.red} << 16 | uint32_t{rgb.green} << 8 | rgb.blue;
            differing += pixel != expected[static_cast<std::size_t>(y) * kFaceWidth + x];
        }
    }
    EXPECT_EQ(differing, 0) << "pixels that differ from the committed sheet";
}

} // namespace

} // namespace vela
