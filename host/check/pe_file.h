// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace vela {

// What a Windows module file tells the loader, read from the file itself: the names it
// exports and the libraries it imports from. Reads 32- and 64-bit PE files.
class PeFile {
public:
    // Throws std::runtime_error when the file cannot be read or is not such a file; a caller
    // tells the two apart by isPe.
    static PeFile read(const std::string& path);
    // Whether the file starts as a PE file (a DOS header) does.
    static bool isPe(const std::string& path);

    // The export table's names, in its (alphabetical) order.
    const std::vector<std::string>& exports() const { return exportedNames; }
    // The libraries of the import table, in its order.
    const std::vector<std::string>& importedLibraries() const { return libraryNames; }

private:
    std::vector<std::string> exportedNames;
    std::vector<std::string> libraryNames;
};

} // namespace vela
