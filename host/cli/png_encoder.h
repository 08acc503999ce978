// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

namespace vela {

// Encodes 8-bit RGB pixels (rows from the top, three bytes per pixel) as a PNG file's bytes.
// The image data goes into stored deflate blocks: larger than compressed, but exact and
// without a compression library.
std::vector<uint8_t> encodePng(int width, int height, const std::vector<uint8_t>& rgb);

} // namespace vela
