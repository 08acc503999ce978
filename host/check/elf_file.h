// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace vela {

// What a shared object file tells the dynamic linker, read from the file itself: the symbols it
// exports and the libraries it needs. Reads 32- and 64-bit little-endian ELF files.
class ElfFile {
public:
    // Throws std::runtime_error when the file cannot be read or is not such a file; a caller
    // tells the two apart by isElf.
    static ElfFile read(const std::string& path);
    // Whether the file starts as an ELF file does.
    static bool isElf(const std::string& path);

    // Names of the defined, default-visibility global and weak functions and objects in the
    // dynamic symbol table, in the table's order.
    const std::vector<std::string>& exports() const { return exportedNames; }
    // The DT_NEEDED entries, in order.
    const std::vector<std::string>& neededLibraries() const { return neededNames; }

private:
    std::vector<std::string> exportedNames;
    std::vector<std::string> neededNames;
};

} // namespace vela
