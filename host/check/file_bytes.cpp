// SPDX-License-Identifier: MIT
#include "host/check/file_bytes.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vela {

FileBytes FileBytes::read(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    return FileBytes(std::vector<char>(std::istreambuf_iterator<char>(file), {}));
}

bool FileBytes::startsWith(const std::string& path, const std::string& magic)
{
    std::ifstream file(path, std::ios::binary);
    std::string start(magic.size(), '\0');
    file.read(start.data(), static_cast<std::streamsize>(start.size()));
    return file && start == magic;
}

uint64_t FileBytes::unsignedAt(uint64_t offset, std::size_t width) const
{
    if (offset > data.size() || width > data.size() - offset) {
        throw std::runtime_error("the file ends inside its own tables");
    }
    // Inside the file, so the offset fits a size.
    const auto start = static_cast<std::size_t>(offset);
    uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= uint64_t{static_cast<unsigned char>(data[start + i])} << (8 * i);
    }
    return value;
}

std::string FileBytes::textAt(uint64_t offset) const
{
    if (offset >= data.size()) {
        throw std::runtime_error("a name lies outside the file");
    }
    const char* start = data.data() + static_cast<std::size_t>(offset);
    const void* end = std::memchr(start, 0, data.size() - static_cast<std::size_t>(offset));
    if (!end) {
        throw std::runtime_error("a name runs to the end of the file");
    }
    return std::string(start, static_cast<const char*>(end));
}

} // namespace vela
