// SPDX-License-Identifier: MIT
#include "host/check/elf_file.h"

#include <cstdint>
#include <stdexcept>

#include "host/check/file_bytes.h"

namespace vela {

namespace {

constexpr uint32_t kSectionDynamic = 6;
constexpr uint32_t kSectionDynamicSymbols = 11;
constexpr int64_t kNeeded = 1;
constexpr unsigned kBindingGlobal = 1;
constexpr unsigned kBindingWeak = 2;
constexpr unsigned kTypeObject = 1;
constexpr unsigned kTypeFunction = 2;
constexpr unsigned kVisibilityDefault = 0;

struct Section {
    uint32_t type;
    uint32_t link;
    uint64_t offset;
    uint64_t size;
    uint64_t entrySize;
};

} // namespace

bool ElfFile::isElf(const std::string& path)
{
    return FileBytes::startsWith(path, "\x7f"
                                       "ELF");
}

ElfFile ElfFile::read(const std::string& path)
{
    const FileBytes bytes = FileBytes::read(path);
    if (bytes.size() < 64 || bytes.unsignedAt(0, 4) != 0x464c457f) {
        throw std::runtime_error(path + " is not an ELF file");
    }
    const bool wide = bytes.unsignedAt(4, 1) == 2;
    if (bytes.unsignedAt(5, 1) != 1) {
        throw std::runtime_error(path + " is a big-endian ELF file");
    }
    const std::size_t word = wide ? 8 : 4;
    const uint64_t sectionTable = bytes.unsignedAt(wide ? 0x28 : 0x20, word);
    const uint64_t sectionEntrySize = bytes.unsignedAt(wide ? 0x3a : 0x2e, 2);
    const uint64_t sectionCount = bytes.unsignedAt(wide ? 0x3c : 0x30, 2);
    std::vector<Section> sections;
    for (uint64_t index = 0; index < sectionCount; ++index) {
        const uint64_t at = sectionTable + index * sectionEntrySize;
        sections.push_back({static_cast<uint32_t>(bytes.unsignedAt(at + 4, 4)),
                            static_cast<uint32_t>(bytes.unsignedAt(at + (wide ? 0x28 : 0x18), 4)),
                            bytes.unsignedAt(at + (wide ? 0x18 : 0x10), word),
                            bytes.unsignedAt(at + (wide ? 0x20 : 0x14), word),
                            bytes.unsignedAt(at + (wide ? 0x38 : 0x24), word)});
    }
    const auto linkedStrings = [&sections](const Section& section) {
        if (section.link >= sections.size()) {
            throw std::runtime_error("a table names a string table that is not there");
        }
        return sections[section.link].offset;
    };
    ElfFile elf;
    for (const Section& section : sections) {
        if (section.type == kSectionDynamicSymbols && section.entrySize > 0) {
            const uint64_t strings = linkedStrings(section);
            for (uint64_t at = section.offset; at + section.entrySize <= section.offset + section.size;
                 at += section.entrySize) {
                const uint64_t name = bytes.unsignedAt(at, 4);
                const unsigned info = static_cast<unsigned>(bytes.unsignedAt(at + (wide ? 4 : 12), 1));
                const unsigned other = static_cast<unsigned>(bytes.unsignedAt(at + (wide ? 5 : 13), 1));
                const uint64_t sectionIndex = bytes.unsignedAt(at + (wide ? 6 : 14), 2);
                const unsigned binding = info >> 4;
                const unsigned type = info & 0xf;
                if (sectionIndex != 0 && (binding == kBindingGlobal || binding == kBindingWeak) &&
                    (type == kTypeFunction || type == kTypeObject) && (other & 3) == kVisibilityDefault) {
                    elf.exportedNames.push_back(bytes.textAt(strings + name));
                }
            }
        }
        if (section.type == kSectionDynamic && section.entrySize > 0) {
            const uint64_t strings = linkedStrings(section);
            for (uint64_t at = section.offset; at + section.entrySize <= section.offset + section.size;
                 at += section.entrySize) {
                const int64_t tag = static_cast<int64_t>(bytes.unsignedAt(at, word));
                if (tag == 0) {
                    break;
                }
                if (tag == kNeeded) {
                    elf.neededNames.push_back(bytes.textAt(strings + bytes.unsignedAt(at + word, word)));
                }
            }
        }
    }
    return elf;
}

} // namespace vela
