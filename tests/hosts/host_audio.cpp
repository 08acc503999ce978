// SPDX-License-Identifier: MIT
// The audio side of the host tests: makes the stereo noise a host plays, and checks what the
// host gave back against it sample for sample. Files are read as 32-bit floats through
// libsndfile, which moves no sample of a float file.
//
//   vela_host_audio make FILE
//   vela_host_audio compare INPUT OUTPUT off|on|off-then-on [--block N] [--live]
//   vela_host_audio join LEFT RIGHT OUTPUT
//
// Each output frame is looked up among the frames the input can become: with the switch off the
// input's frame as it came, with it on the mean of its channels on both. Frames must come in the
// input's order, each one exact; silence (both channels exactly 0) is a frame that did not
// arrive: latency, or a quantum a live host dropped. A render delivers every input frame in one
// unbroken run; a live host (--live) may drop frames, but at least half must arrive. With
// off-then-on the switch changes once, from off to on, at a multiple of --block frames: of a
// live host's output stream, or of a render's input (counted from the first frame that arrived,
// as a recording host's leading silence is its own latency).
// join makes one stereo file of two mono ones (a host that records each channel apart).

#include <sndfile.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kFrames = 2 * kRate;

struct Frame {
    float left;
    float right;
};

std::vector<float> readSamples(const char* path, int channels)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (!file || info.channels != channels || info.frames == 0) {
        std::fprintf(stderr, "%s: not a readable file of %d channel(s) (%s)\n", path, channels, sf_strerror(file));
        if (file) {
            sf_close(file);
        }
        return {};
    }
    std::vector<float> samples(static_cast<size_t>(info.frames * channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

std::vector<Frame> readFrames(const char* path)
{
    const std::vector<float> samples = readSamples(path, 2);
    std::vector<Frame> frames(samples.size() / 2);
    if (!frames.empty()) {
        std::memcpy(frames.data(), samples.data(), samples.size() * sizeof(float));
    }
    return frames;
}

int writeFrames(const char* path, const std::vector<Frame>& frames)
{
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path, SFM_WRITE, &info);
    const auto count = static_cast<sf_count_t>(frames.size());
    if (!file || sf_writef_float(file, &frames[0].left, count) != count) {
        std::fprintf(stderr, "%s: cannot write (%s)\n", path, sf_strerror(file));
        return 1;
    }
    sf_close(file);
    return 0;
}

uint64_t key(Frame frame)
{
    uint32_t left;
    uint32_t right;
    std::memcpy(&left, &frame.left, sizeof left);
    std::memcpy(&right, &frame.right, sizeof right);
    return uint64_t{left} << 32 | right;
}

Frame mean(Frame frame)
{
    const float both = (frame.left + frame.right) * 0.5f;
    return {both, both};
}

int make(const char* path)
{
    // Independent channels, no sample exactly 0, never left equal to right, and no frame or mean
    // twice, so that each output frame names the one input frame it came from and its state.
    std::vector<Frame> frames(kFrames);
    std::unordered_set<uint64_t> taken;
    uint32_t state = 1;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<int32_t>(state >> 8) - (1 << 23)) / (1 << 24);
    };
    for (Frame& frame : frames) {
        do {
            frame = {next(), next()};
        } while (frame.left == 0.0f || frame.right == 0.0f || frame.left == frame.right ||
                 !taken.insert(key(frame)).second || !taken.insert(key(mean(frame))).second);
    }
    return writeFrames(path, frames);
}

int join(const char* leftPath, const char* rightPath, const char* path)
{
    const std::vector<float> left = readSamples(leftPath, 1);
    const std::vector<float> right = readSamples(rightPath, 1);
    if (left.empty() || left.size() != right.size()) {
        std::fprintf(stderr, "%s and %s: not two mono files of one length\n", leftPath, rightPath);
        return 1;
    }
    std::vector<Frame> frames(left.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i] = {left[i], right[i]};
    }
    return writeFrames(path, frames);
}

int compare(const char* inputPath, const char* outputPath, const std::string& mode, long block, bool live)
{
    const std::vector<Frame> input = readFrames(inputPath);
    const std::vector<Frame> output = readFrames(outputPath);
    if (input.empty() || output.empty()) {
        return 1;
    }
    std::unordered_map<uint64_t, long> off;
    std::unordered_map<uint64_t, long> on;
    for (size_t i = 0; i < input.size(); ++i) {
        off.emplace(key(input[i]), static_cast<long>(i));
        on.emplace(key(mean(input[i])), static_cast<long>(i));
    }
    const bool mayBeOff = mode != "on";
    const bool mayBeOn = mode != "off";

    long previous = -1; // the input frame the last arriving output frame came from
    long arrived = 0;
    long firstArrived = -1;
    long firstOn = -1; // the output frame where the switch was first heard on
    for (size_t k = 0; k < output.size(); ++k) {
        const Frame got = output[k];
        if (got.left == 0.0f && got.right == 0.0f) {
            continue;
        }
        const auto asOff = mayBeOff && firstOn < 0 ? off.find(key(got)) : off.end();
        const auto asOn = mayBeOn ? on.find(key(got)) : on.end();
        const long from = asOff != off.end() ? asOff->second : asOn != on.end() ? asOn->second : -1;
        const bool ordered = from > previous && (live || from == previous + 1);
        if (from < 0 || !ordered) {
            const long wanted = previous + 1 < static_cast<long>(input.size()) ? previous + 1 : previous;
            const Frame source = input[static_cast<size_t>(wanted)];
            const Frame asWanted = firstOn >= 0 || mode == "on" ? mean(source) : source;
            std::printf("FAIL output frame %zu is (%.9g, %.9g): %s; input frame %ld %s gives (%.9g, %.9g)\n", k,
                        static_cast<double>(got.left), static_cast<double>(got.right),
                        from < 0 ? "no input frame gives it"
                                 : ("it is input frame " + std::to_string(from) + ", out of order").c_str(),
                        wanted, firstOn >= 0 || mode == "on" ? "switched on" : "switched off",
                        static_cast<double>(asWanted.left), static_cast<double>(asWanted.right));
            return 1;
        }
        if (asOff == off.end() && firstOn < 0) {
            firstOn = static_cast<long>(k);
        }
        if (firstArrived < 0) {
            firstArrived = static_cast<long>(k);
        }
        previous = from;
        ++arrived;
    }

    const long total = static_cast<long>(input.size());
    if (live ? arrived * 2 < total : arrived != total) {
        std::printf("FAIL %ld of %ld input frames arrived%s\n", arrived, total, live ? ", fewer than half" : "");
        return 1;
    }
    const long onAt = live ? firstOn : firstOn - firstArrived;
    if (mode == "off-then-on") {
        if (firstOn < 0 || firstOn == firstArrived) {
            std::printf("FAIL the switch was never heard %s\n", firstOn < 0 ? "on" : "off");
            return 1;
        }
        if (onAt % block != 0) {
            std::printf("FAIL the switch turned on at %s frame %ld, not at a start of a block of %ld\n",
                        live ? "output" : "input", onAt, block);
            return 1;
        }
    }
    std::printf("%ld of %ld input frames arrived, each exact (%s", arrived, total, mode.c_str());
    if (firstOn >= 0 && mode == "off-then-on") {
        std::printf(", on from %s frame %ld = block %ld", live ? "output" : "input", onAt, onAt / block);
    }
    std::printf(")\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 2 && arguments[0] == "make") {
        return make(argv[2]);
    }
    if (arguments.size() == 4 && arguments[0] == "join") {
        return join(argv[2], argv[3], argv[4]);
    }
    if (arguments.size() >= 4 && arguments[0] == "compare") {
        long block = 1;
        bool live = false;
        for (size_t i = 4; i < arguments.size(); ++i) {
            if (arguments[i] == "--live") {
                live = true;
            } else if (arguments[i] == "--block" && i + 1 < arguments.size()) {
                block = std::stol(arguments[++i]);
            } else {
                block = 0;
            }
        }
        const std::string& mode = arguments[3];
        if (block > 0 && (mode == "off" || mode == "on" || mode == "off-then-on")) {
            return compare(argv[2], argv[3], mode, block, live);
        }
    }
    std::fprintf(stderr, "usage: vela_host_audio make FILE\n"
                         "       vela_host_audio compare INPUT OUTPUT off|on|off-then-on [--block N] [--live]\n"
                         "       vela_host_audio join LEFT RIGHT OUTPUT\n");
    return 2;
}
