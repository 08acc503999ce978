// SPDX-License-Identifier: MIT
#include "host/check/pe_file.h"

#include <cstdint>
#include <stdexcept>

#include "host/check/file_bytes.h"

namespace vela {

namespace {

constexpr uint64_t kSignature = 0x00004550; // "PE\0\0"
constexpr uint64_t kOptionalMagic32 = 0x10b;
constexpr uint64_t kOptionalMagic64 = 0x20b;
constexpr uint64_t kExportDirectory = 0;
constexpr uint64_t kImportDirectory = 1;
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint64_t kImportDescriptorSize = 20;
// No module holds more; a larger count is a damaged table.
constexpr uint64_t kLargestCount = 65536;

struct Section {
    uint64_t address;
    uint64_t size;
    uint64_t fileOffset;
};

// Where in the file the loader puts an address of the loaded image.
uint64_t fileOffset(const std::vector<Section>& sections, uint64_t address)
{
    for (const Section& section : sections) {
        if (address >= section.address && address < section.address + section.size) {
            return address - section.address + section.fileOffset;
        }
    }
    throw std::runtime_error("a table lies outside every section");
}

} // namespace

bool PeFile::isPe(const std::string& path)
{
    return FileBytes::startsWith(path, "MZ");
}

PeFile PeFile::read(const std::string& path)
{
    const FileBytes bytes = FileBytes::read(path);
    if (bytes.size() < 64 || bytes.unsignedAt(0, 2) != 0x5a4d) {
        throw std::runtime_error(path + " is not a PE file");
    }
    const uint64_t header = bytes.unsignedAt(0x3c, 4);
    if (bytes.unsignedAt(header, 4) != kSignature) {
        throw std::runtime_error(path + " is a DOS program, not a PE file");
    }
    const uint64_t sectionCount = bytes.unsignedAt(header + 6, 2);
    const uint64_t optionalSize = bytes.unsignedAt(header + 20, 2);
    const uint64_t optional = header + 24;
    const uint64_t magic = bytes.unsignedAt(optional, 2);
    if (magic != kOptionalMagic32 && magic != kOptionalMagic64) {
        throw std::runtime_error(path + " has an optional header of no known kind");
    }
    const uint64_t directories = optional + (magic == kOptionalMagic64 ? 112 : 96);
    const uint64_t directoryCount = bytes.unsignedAt(directories - 4, 4);
    std::vector<Section> sections;
    for (uint64_t index = 0; index < sectionCount; ++index) {
        const uint64_t at = optional + optionalSize + index * kSectionHeaderSize;
        const uint64_t virtualSize = bytes.unsignedAt(at + 8, 4);
        const uint64_t rawSize = bytes.unsignedAt(at + 16, 4);
        sections.push_back({bytes.unsignedAt(at + 12, 4), virtualSize > rawSize ? virtualSize : rawSize,
                            bytes.unsignedAt(at + 20, 4)});
    }
    const auto directory = [&](uint64_t index) {
        return index < directoryCount ? bytes.unsignedAt(directories + index * 8, 4) : 0;
    };

    PeFile pe;
    if (const uint64_t exports = directory(kExportDirectory)) {
        const uint64_t table = fileOffset(sections, exports);
        const uint64_t nameCount = bytes.unsignedAt(table + 24, 4);
        if (nameCount > kLargestCount) {
            throw std::runtime_error(path + " claims " + std::to_string(nameCount) + " exported names");
        }
        const uint64_t names = fileOffset(sections, bytes.unsignedAt(table + 32, 4));
        for (uint64_t index = 0; index < nameCount; ++index) {
            pe.exportedNames.push_back(bytes.textAt(fileOffset(sections, bytes.unsignedAt(names + index * 4, 4))));
        }
    }
    if (const uint64_t imports = directory(kImportDirectory)) {
        const uint64_t table = fileOffset(sections, imports);
        for (uint64_t index = 0; index < kLargestCount; ++index) {
            const uint64_t name = bytes.unsignedAt(table + index * kImportDescriptorSize + 12, 4);
            if (name == 0) {
                break;
            }
            pe.libraryNames.push_back(bytes.textAt(fileOffset(sections, name)));
        }
    }
    return pe;
}

} // namespace vela
