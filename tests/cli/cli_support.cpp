// SPDX-License-Identifier: MIT
#include "cli_support.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace vela {

namespace {

std::string shellQuoted(const std::string& word)
{
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string fileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int exitStatus(int systemResult)
{
    return WIFEXITED(systemResult) ? WEXITSTATUS(systemResult) : 128 + WTERMSIG(systemResult);
}

} // namespace

ToolRun runTool(const std::vector<std::string>& arguments, const std::string& environment)
{
    const ScratchFolder capture;
    // Packaged plug-ins are black boxes: in a sanitizer build of the tool, the memory their
    // window and font libraries keep to the end is not the tool's leak.
    const bool packaged = std::any_of(arguments.begin(), arguments.end(),
                                      [](const auto& word) { return word.starts_with("/usr/lib/vst/"); });
    std::string command =
        (packaged ? "ASAN_OPTIONS=detect_leaks=0 " : "") + environment + " " + shellQuoted(VELA_HOST_PATH);
    for (const std::string& argument : arguments) {
        command += " " + shellQuoted(argument);
    }
    command += " >" + shellQuoted(capture.path("out")) + " 2>" + shellQuoted(capture.path("err"));
    ToolRun run;
    run.status = exitStatus(std::system(command.c_str()));
    run.out = fileText(capture.path("out"));
    run.err = fileText(capture.path("err"));
    return run;
}

std::vector<ToolRun> runToolsAtOnce(const std::vector<std::vector<std::string>>& runs, const std::string& environment)
{
    const ScratchFolder capture;
    // Each run in a background subshell that leaves its status in a file; wait joins them.
    std::string script;
    for (std::size_t index = 0; index < runs.size(); ++index) {
        const std::string name = std::to_string(index);
        script += "(" + environment + " " + shellQuoted(VELA_HOST_PATH);
        for (const std::string& argument : runs[index]) {
            script += " " + shellQuoted(argument);
        }
        script += " >" + shellQuoted(capture.path(name + ".out")) + " 2>" + shellQuoted(capture.path(name + ".err")) +
                  "; echo $? >" + shellQuoted(capture.path(name + ".status")) + ") & ";
    }
    script += "wait";
    std::system(script.c_str());
    std::vector<ToolRun> done(runs.size());
    for (std::size_t index = 0; index < runs.size(); ++index) {
        const std::string name = std::to_string(index);
        const std::string status = fileText(capture.path(name + ".status"));
        done[index].status = status.empty() ? -1 : std::stoi(status);
        done[index].out = fileText(capture.path(name + ".out"));
        done[index].err = fileText(capture.path(name + ".err"));
    }
    return done;
}

ScratchFolder::ScratchFolder()
{
    static int made = 0;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "setup";
    std::replace(name.begin(), name.end(), '/', '_');
    root = std::filesystem::temp_directory_path() /
           ("vela-host-test-" + std::to_string(getpid()) + "-" + std::to_string(made++) + "-" + name);
    std::filesystem::create_directories(root);
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::string ScratchFolder::path(const std::string& name) const
{
    return (root / name).string();
}

std::vector<std::string> ScratchFolder::files() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void writeAudio(const std::string& path, const std::vector<std::vector<float>>& channels, int format, int rate)
{
    SF_INFO info{};
    info.channels = static_cast<int>(channels.size());
    info.samplerate = rate;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    const std::size_t frames = channels.front().size();
    std::vector<float> interleaved;
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (const auto& channel : channels) {
            interleaved.push_back(channel[frame]);
        }
    }
    EXPECT_EQ(sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames)),
              static_cast<sf_count_t>(frames));
    sf_close(file);
}

Audio readAudio(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    Audio audio;
    if (!file) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return audio;
    }
    audio.rate = info.samplerate;
    audio.format = info.format;
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    const sf_count_t read = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    EXPECT_EQ(read, info.frames);
    audio.channels.assign(static_cast<std::size_t>(info.channels),
                          std::vector<float>(static_cast<std::size_t>(info.frames)));
    for (sf_count_t frame = 0; frame < info.frames; ++frame) {
        for (int channel = 0; channel < info.channels; ++channel) {
            audio.channels[channel][frame] = interleaved[frame * info.channels + channel];
        }
    }
    return audio;
}

std::vector<float> noise(std::size_t frames, uint32_t seed)
{
    std::vector<float> samples(frames);
    uint32_t state = seed;
    for (float& sample : samples) {
        state = state * 1664525U + 1013904223U;
        sample = static_cast<float>(static_cast<int32_t>(state)) * 0x1p-33f;
    }
    return samples;
}

Picture readPng(const std::string& path)
{
    const std::string ppm = path + ".ppm";
    const std::string command = "/usr/bin/python3 -c 'import sys; from PIL import Image; "
                                "Image.open(sys.argv[1]).convert(\"RGB\").save(sys.argv[2], \"PPM\")' " +
                                shellQuoted(path) + " " + shellQuoted(ppm);
    Picture picture;
    if (exitStatus(std::system(command.c_str())) != 0) {
        ADD_FAILURE() << "Python's imaging library cannot read " << path;
        return picture;
    }
    std::ifstream in(ppm, std::ios::binary);
    std::string magic;
    int maximum = 0;
    in >> magic >> picture.width >> picture.height >> maximum;
    in.get();
    picture.rgb.resize(static_cast<std::size_t>(picture.width) * picture.height * 3);
    in.read(reinterpret_cast<char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
    EXPECT_EQ(magic, "P6");
    EXPECT_EQ(maximum, 255);
    std::filesystem::remove(ppm);
    return picture;
}

std::map<std::string, std::string> flattenJson(const std::string& json)
{
    const ScratchFolder scratch;
    {
        std::ofstream(scratch.path("in.json")) << json;
    }
    // One "path<TAB>value" line per plain value.
    const std::string command = R"(/usr/bin/python3 -c '
import json, sys
def walk(value, path):
    if isinstance(value, dict):
        for key, item in value.items(): walk(item, path + [key])
    elif isinstance(value, list):
        for index, item in enumerate(value): walk(item, path + [str(index)])
    else: print(".".join(path) + "\t" + str(value))
walk(json.load(open(sys.argv[1])), [])
' )" + shellQuoted(scratch.path("in.json")) +
                                " >" + shellQuoted(scratch.path("out"));
    std::map<std::string, std::string> values;
    if (exitStatus(std::system(command.c_str())) != 0) {
        ADD_FAILURE() << "not valid JSON:\n" << json;
        return values;
    }
    std::istringstream lines(fileText(scratch.path("out")));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tab = line.find('\t');
        values[line.substr(0, tab)] = tab == std::string::npos ? "" : line.substr(tab + 1);
    }
    return values;
}

std::vector<JunitCase> readJunit(const std::string& path)
{
    const ScratchFolder scratch;
    // One "name<TAB>result" line per test case, the result empty for a pass.
    const std::string command = R"(/usr/bin/python3 -c '
import sys, xml.etree.ElementTree as tree
for case in tree.parse(sys.argv[1]).getroot().iter("testcase"):
    failure, skipped = case.find("failure"), case.find("skipped")
    result = "" if failure is None else "FAIL " + failure.get("message")
    result = result if skipped is None else "SKIP " + skipped.get("message")
    print(case.get("name") + "\t" + result)
' )" + shellQuoted(path) + " >" +
                                shellQuoted(scratch.path("out"));
    std::vector<JunitCase> cases;
    if (exitStatus(std::system(command.c_str())) != 0) {
        ADD_FAILURE() << path << " is not well-formed XML";
        return cases;
    }
    std::istringstream lines(fileText(scratch.path("out")));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tab = line.find('\t');
        cases.push_back({line.substr(0, tab), tab == std::string::npos ? "" : line.substr(tab + 1)});
    }
    return cases;
}

bool installed(const std::string& path)
{
    return std::filesystem::exists(path);
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace vela
