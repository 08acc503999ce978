// SPDX-License-Identifier: MIT
// vela-host levels: how loud each channel of audio files is, how alike the first two are, and
// what folding them down to mono loses.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "host/cli/command_line.h"
#include "host/cli/commands.h"
#include "host/cli/sound_file.h"
#include "host/cli/text_format.h"

namespace vela {

namespace {

constexpr int64_t kReadFrames = 4096;

struct Levels {
    std::vector<double> squares;
    std::vector<double> peaks;
    double product = 0.0;
    // Squares of the mean of channels 1 and 2: the mono fold-down.
    double foldSquares = 0.0;
    int64_t frames = 0;
};

Levels measure(SoundFile& file)
{
    const int channels = file.channels();
    Levels levels;
    levels.squares.assign(channels, 0.0);
    levels.peaks.assign(channels, 0.0);
    std::vector<float> frames(static_cast<std::size_t>(channels) * kReadFrames);
    while (const int64_t count = file.read(frames.data(), kReadFrames)) {
        for (int64_t frame = 0; frame < count; ++frame) {
            const float* samples = frames.data() + frame * channels;
            for (int channel = 0; channel < channels; ++channel) {
                levels.squares[channel] += double{samples[channel]} * samples[channel];
                levels.peaks[channel] = std::max(levels.peaks[channel], std::fabs(double{samples[channel]}));
            }
            if (channels > 1) {
                levels.product += double{samples[0]} * samples[1];
                const double mean = (double{samples[0]} + samples[1]) * 0.5;
                levels.foldSquares += mean * mean;
            }
        }
        levels.frames += count;
    }
    return levels;
}

// How many dB quieter the mean of channels 1 and 2 is than the louder of them: 0 for identical
// channels, 3 for unrelated ones of one level, 6 for one beside silence, "inf" when the two
// cancel out.
std::string foldDownText(const Levels& levels)
{
    const double louder = std::max(levels.squares[0], levels.squares[1]);
    if (louder <= 0.0) {
        return "n/a";
    }
    if (levels.foldSquares <= 0.0) {
        return "inf";
    }
    return fixedText(10.0 * std::log10(louder / levels.foldSquares), 2);
}

int runLevels(const std::vector<std::string>& words)
{
    const CommandLine line(words, {}, {});
    if (line.positionals().empty()) {
        throw UsageError("expected one or more FILE");
    }
    int nameWidth = 4;
    for (const std::string& path : line.positionals()) {
        nameWidth = std::max(nameWidth, static_cast<int>(path.size()));
    }
    std::printf("%-*s %7s %11s %11s %12s %12s\n", nameWidth, "file", "channel", "RMS dBFS", "peak dBFS", "correlation",
                "fold-down dB");
    for (const std::string& path : line.positionals()) {
        SoundFile file = SoundFile::openForReading(path);
        const Levels levels = measure(file);
        for (int channel = 0; channel < file.channels(); ++channel) {
            const double rms =
                levels.frames > 0 ? std::sqrt(levels.squares[channel] / static_cast<double>(levels.frames)) : 0.0;
            // The correlation of channels 1 and 2: 1 for identical channels, 0 for unrelated
            // ones, -1 for one the other's negative.
            std::string correlation;
            std::string foldDown;
            if (channel == 0 && file.channels() > 1) {
                const double energy = std::sqrt(levels.squares[0] * levels.squares[1]);
                correlation = energy > 0.0 ? fixedText(levels.product / energy, 3) : "n/a";
                foldDown = foldDownText(levels);
            }
            std::printf("%-*s %7d %11s %11s", nameWidth, channel == 0 ? path.c_str() : "", channel + 1,
                        decibelText(rms).c_str(), decibelText(levels.peaks[channel]).c_str());
            // The pair's columns only on its first row: the others end at their last figure.
            if (!correlation.empty()) {
                std::printf(" %12s %12s", correlation.c_str(), foldDown.c_str());
            }
            std::printf("\n");
        }
    }
    return 0;
}

} // namespace

const Command levelsCommand{
    "levels",
    "FILE...",
    "each channel's RMS and peak level, and the correlation of channels 1 and 2",
    "Reads each FILE (any file libsndfile reads) and prints, per channel, the RMS and peak\n"
    "level in dB relative to full scale, and for files of two or more channels the\n"
    "correlation of channels 1 and 2: 1.000 for identical channels (mono), near 0 for\n"
    "unrelated ones, -1.000 for channels that are each other's negative; and the fold-down\n"
    "loss: how many dB quieter the mean of channels 1 and 2 (the mono mix) is than the\n"
    "louder of them, 0.00 for identical channels, about 3 for unrelated ones of one level,\n"
    "inf when they cancel out.\n",
    runLevels,
};

} // namespace vela
