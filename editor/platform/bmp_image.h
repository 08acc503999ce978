// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vela {

// The pixels of an uncompressed 24-bit .bmp file, top row first.
class BmpImage {
public:
    struct Rgb {
        uint8_t red;
        uint8_t green;
        uint8_t blue;
        bool operator==(const Rgb&) const = default;
    };

    // Reads a file's bytes; nothing for anything but a plain 24-bit bitmap whose rows all lie
    // inside the bytes, or for sides beyond 4096 pixels.
    static std::optional<BmpImage> decode(const unsigned char* bytes, std::size_t size);

    int width() const { return columns; }
    int height() const { return rows; }
    Rgb pixel(int x, int y) const { return pixels[static_cast<std::size_t>(y) * columns + x]; }

private:
    BmpImage(int width, int height);

    int columns;
    int rows;
    std::vector<Rgb> pixels;
};

} // namespace vela
