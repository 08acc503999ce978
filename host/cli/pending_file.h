// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vela {

// A file written under a temporary name beside its final path and renamed into place only once
// complete, so that a failed or interrupted run never leaves a half-written file under the
// final name. The temporary file goes when the object does, unless it was committed.
class PendingFile {
public:
    explicit PendingFile(const std::string& finalPath);
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile();

    const std::string& temporaryPath() const { return partialPath; }

    // Writes bytes as the whole temporary file; throws std::runtime_error naming the final path.
    void write(const std::vector<uint8_t>& bytes) const;
    // Renames the temporary file to the final path; throws std::runtime_error on failure.
    void commit();

private:
    std::string targetPath;
    std::string partialPath;
    bool committed = false;
};

} // namespace vela
