// SPDX-License-Identifier: MIT
#include "editor/platform/bmp_image.h"

#include <cstdlib>

namespace vela {

namespace {

constexpr std::size_t kHeadersSize = 14 + 40;
constexpr int kLargestSide = 4096;

// A little-endian field of size bytes at offset.
uint32_t little(const unsigned char* bytes, std::size_t offset, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) | bytes[offset + static_cast<std::size_t>(i)];
    }
    return value;
}

} // namespace

BmpImage::BmpImage(int width, int height)
    : columns(width),
      rows(height),
      pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
{
}

std::optional<BmpImage> BmpImage::decode(const unsigned char* bytes, std::size_t size)
{
    if (bytes == nullptr || size < kHeadersSize || bytes[0] != 'B' || bytes[1] != 'M') {
        return std::nullopt;
    }
    const auto width = static_cast<int32_t>(little(bytes, 18, 4));
    const auto height = static_cast<int32_t>(little(bytes, 22, 4));
    const bool plain = little(bytes, 14, 4) >= 40 && little(bytes, 26, 2) == 1 && little(bytes, 28, 2) == 24 &&
                       little(bytes, 30, 4) == 0;
    if (!plain || width <= 0 || width > kLargestSide || height == 0 || height < -kLargestSide ||
        height > kLargestSide) {
        return std::nullopt;
    }
    // A positive height stores the bottom row first; rows are padded to four bytes.
    const bool bottomUp = height > 0;
    const int rowCount = std::abs(height);
    const std::size_t pixelOffset = little(bytes, 10, 4);
    const std::size_t rowSize = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (pixelOffset < kHeadersSize || pixelOffset > size ||
        rowSize * static_cast<std::size_t>(rowCount) > size - pixelOffset) {
        return std::nullopt;
    }
    BmpImage image(width, rowCount);
    for (int y = 0; y < rowCount; ++y) {
        const int stored = bottomUp ? rowCount - 1 - y : y;
        const unsigned char* row = bytes + pixelOffset + rowSize * static_cast<std::size_t>(stored);
        for (int x = 0; x < width; ++x) {
            const unsigned char* bgr = row + 3 * x;
            image.pixels[static_cast<std::size_t>(y) * width + x] = {bgr[2], bgr[1], bgr[0]};
        }
    }
    return image;
}

} // namespace vela
