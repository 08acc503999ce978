// SPDX-License-Identifier: MIT
#include "host/cli/pending_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace vela {

PendingFile::PendingFile(const std::string& finalPath) : targetPath(finalPath)
{
    const std::filesystem::path target(finalPath);
    // Beside the target, so that the rename stays on one file system; hidden, and named after
    // this process so that two runs never share one.
    partialPath =
        (target.parent_path() / ("." + target.filename().string() + ".partial-" + std::to_string(getpid()))).string();
}

PendingFile::~PendingFile()
{
    if (!committed) {
        std::error_code ignored;
        std::filesystem::remove(partialPath, ignored);
    }
}

void PendingFile::write(const std::vector<uint8_t>& bytes) const
{
    std::FILE* file = std::fopen(partialPath.c_str(), "wb");
    if (!file) {
        throw std::runtime_error("cannot write " + targetPath + ": " + std::strerror(errno));
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written) {
        throw std::runtime_error("cannot write " + targetPath + ": " + std::strerror(written ? errno : writeError));
    }
}

void PendingFile::commit()
{
    std::error_code error;
    std::filesystem::rename(partialPath, targetPath, error);
    if (error) {
        throw std::runtime_error("cannot write " + targetPath + ": " + error.message());
    }
    committed = true;
}

} // namespace vela
