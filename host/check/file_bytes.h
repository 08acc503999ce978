// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vela {

// A whole file's bytes, read little-endian, refusing to run past the file's end: what the
// readers of module files build on.
class FileBytes {
public:
    // Throws std::runtime_error when the file cannot be read.
    static FileBytes read(const std::string& path);
    // Whether the file starts with these bytes.
    static bool startsWith(const std::string& path, const std::string& magic);

    // Throws std::runtime_error when the field runs past the file's end.
    uint64_t unsignedAt(uint64_t offset, std::size_t width) const;
    // The zero-terminated text at offset.
    std::string textAt(uint64_t offset) const;
    std::size_t size() const { return data.size(); }

private:
    explicit FileBytes(std::vector<char> content) : data(std::move(content)) {}

    std::vector<char> data;
};

} // namespace vela
