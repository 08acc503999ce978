// SPDX-License-Identifier: MIT
#pragma once

// What the vela-host tests share: running the built tool, a scratch folder per test, audio
// files written and read through libsndfile, and PNG files decoded by an independent reader.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vela {

// One run of vela-host: its exit status and what it printed.
struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built vela-host with these arguments. environment is put before the command as
// the shell reads it, e.g. "env -u DISPLAY".
ToolRun runTool(const std::vector<std::string>& arguments, const std::string& environment = "");
// Starts one vela-host per argument list, all at once, and answers each run once all ended.
std::vector<ToolRun> runToolsAtOnce(const std::vector<std::vector<std::string>>& runs,
                                    const std::string& environment = "");

// A folder of its own for one test, removed with everything in it afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder();

    std::string path(const std::string& name) const;
    // The names of the files in the folder, sorted.
    std::vector<std::string> files() const;

private:
    std::filesystem::path root;
};

// Audio as channels of samples.
struct Audio {
    int rate = 0;
    int format = 0;
    std::vector<std::vector<float>> channels;
};

// Writes channels (all of one length) to path in a libsndfile format.
void writeAudio(const std::string& path, const std::vector<std::vector<float>>& channels, int format, int rate = 44100);
// Reads path; fails the test (and answers no channels) when it cannot be read.
Audio readAudio(const std::string& path);
// Deterministic noise at about -12 dBFS: a different signal for each seed.
std::vector<float> noise(std::size_t frames, uint32_t seed);

// A decoded PNG: rows from the top, three bytes per pixel.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// Decodes path with Python's imaging library, not with the tool's own code.
Picture readPng(const std::string& path);

// Parses JSON text with Python's json module, not with the tool's own code, and answers every
// plain value by its path: "record.numInputs" -> "2", "parameters.0.name" -> "Low". Strings
// come unquoted, numbers as Python prints them, true and false as "True" and "False".
std::map<std::string, std::string> flattenJson(const std::string& json);

// One test case of a JUnit XML file: its name, and "FAIL " and the failure's message when it
// failed ("" when it did not).
struct JunitCase {
    std::string name;
    // "FAIL " or "SKIP " and the message; empty for a pass.
    std::string result;
};

// Reads a JUnit file with Python's XML parser; fails the test when it is not well-formed.
std::vector<JunitCase> readJunit(const std::string& path);

bool contains(const std::string& text, const std::string& part);

// Whether a packaged third-party plug-in (or any file) is there.
bool installed(const std::string& path);

} // namespace vela
