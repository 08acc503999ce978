// SPDX-License-Identifier: MIT
// vela-host render: an audio file through the effect, block by block, as a host plays it.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "host/cli/audio_buffers.h"
#include "host/cli/channel_map.h"
#include "host/cli/command_line.h"
#include "host/cli/commands.h"
#include "host/cli/open_effect.h"
#include "host/cli/parameter_assignment.h"
#include "host/cli/pending_file.h"
#include "host/cli/progress_bar.h"
#include "host/cli/sound_file.h"

namespace vela {

namespace {

constexpr long kDefaultBlockSize = 512;
constexpr long kLargestBlockSize = 65536;
// About this many frames pass between the files and the effect at a time: few system calls
// and conversions for a long file, and the buffers still fit a processor's cache.
constexpr long kChunkFrames = 16384;
// A file is long enough for a progress bar from this many seconds of audio on.
constexpr int64_t kProgressSeconds = 20;

volatile std::sig_atomic_t interrupted = 0;

void noteInterrupt(int)
{
    interrupted = 1;
}

void checkCanRender(const AEffect& record, bool accumulate)
{
    if (record.numOutputs < 1) {
        throw std::runtime_error("the effect has no outputs to write");
    }
    if (accumulate ? !record.process : !record.processReplacing || (record.flags & effFlagsCanReplacing) == 0) {
        throw std::runtime_error(accumulate ? "the effect has no process function"
                                            : "the effect cannot replace its outputs "
                                              "(effFlagsCanReplacing unset); try --accumulate");
    }
}

int runRender(const std::vector<std::string>& words)
{
    const CommandLine line(words, {"--param", "--block", "--rate"}, {"--accumulate"});
    line.expectPositionals({"MODULE", "IN", "OUT"});
    const std::string& modulePath = line.positionals()[0];
    const std::string& inPath = line.positionals()[1];
    const std::string& outPath = line.positionals()[2];
    const auto assignments = ParameterAssignment::parseAll(line.values("--param"));
    const long blockSize = line.integer("--block", kDefaultBlockSize, 1, kLargestBlockSize);
    const bool accumulate = line.has("--accumulate");

    HostedEffect effect = openEffect(modulePath);
    for (const ParameterAssignment& assignment : assignments) {
        assignment.applyTo(effect);
    }
    const AEffect& record = *effect.record();
    checkCanRender(record, accumulate);
    SoundFile input = SoundFile::openForReading(inPath);
    const long rate = line.integer("--rate", input.sampleRate(), 1, 1'000'000);
    const int inputs = record.numInputs;
    const int outputs = record.numOutputs;
    const ChannelMap map(input.channels(), inputs);

    std::printf("input:   %s (%s, %d channel%s, %d Hz, %lld frames)\n", inPath.c_str(), input.formatName().c_str(),
                input.channels(), input.channels() == 1 ? "" : "s", input.sampleRate(),
                static_cast<long long>(input.frames()));
    std::printf("effect:  %s, %d in, %d out, at %ld Hz in blocks of %ld, %s\n",
                effect.dispatchString(effGetEffectName).c_str(), inputs, outputs, rate, blockSize,
                accumulate ? "process (accumulating into zeroed outputs)" : "processReplacing");
    std::printf("mapping: %s\n", map.describe().c_str());
    if (rate != input.sampleRate()) {
        std::printf("note:    the effect is told %ld Hz; the audio is not resampled\n", rate);
    }
    if (record.initialDelay != 0) {
        std::printf("note:    the effect reports %d frames of delay; OUT is not shifted\n", record.initialDelay);
    }
    std::fflush(stdout);

    PendingFile pending(outPath);
    SoundFile output = SoundFile::createFor(pending.temporaryPath(), outPath, input, outputs);
    effect.host().setAnswer(audioMasterGetSampleRate, rate);
    effect.host().setAnswer(audioMasterGetBlockSize, blockSize);
    effect.dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    effect.dispatch(effSetBlockSize, 0, blockSize);
    effect.dispatch(effMainsChanged, 0, 1);

    // A whole number of blocks per chunk, so that the effect gets the blocks it would get from
    // a file read a block at a time: all full but the last.
    const int64_t chunkFrames = std::max(1L, kChunkFrames / blockSize) * blockSize;
    const int channels = input.channels();
    AudioBuffers in(inputs, static_cast<std::size_t>(blockSize), AudioBuffers::kInputOffset);
    AudioBuffers out(outputs, static_cast<std::size_t>(blockSize), AudioBuffers::kOutputOffset);
    std::vector<float> fileFrames(static_cast<std::size_t>(channels * chunkFrames));
    std::vector<float> outFrames(static_cast<std::size_t>(outputs * chunkFrames));
    ProgressBar progress(input.frames(), input.frames() > kProgressSeconds * input.sampleRate());
    interrupted = 0;
    const auto previousHandler = std::signal(SIGINT, noteInterrupt);
    int64_t done = 0;
    while (const int64_t frames = input.read(fileFrames.data(), chunkFrames)) {
        if (interrupted) {
            std::signal(SIGINT, previousHandler);
            throw std::runtime_error("interrupted; " + outPath + " not written");
        }
        for (int64_t start = 0; start < frames; start += blockSize) {
            const int64_t count = std::min<int64_t>(blockSize, frames - start);
            const float* const fileBlock = fileFrames.data() + start * channels;
            for (int channel = 0; channel < inputs; ++channel) {
                const int source = map.sourceOf(channel);
                float* const samples = in.channel(channel);
                for (int64_t frame = 0; frame < count; ++frame) {
                    samples[frame] = source < 0 ? 0.0f : fileBlock[frame * channels + source];
                }
            }
            if (accumulate) {
                out.clear();
                effect.process(in.pointers(), out.pointers(), static_cast<int32_t>(count));
            } else {
                effect.processReplacing(in.pointers(), out.pointers(), static_cast<int32_t>(count));
            }
            float* const outBlock = outFrames.data() + start * outputs;
            for (int channel = 0; channel < outputs; ++channel) {
                const float* const samples = out.channel(channel);
                for (int64_t frame = 0; frame < count; ++frame) {
                    outBlock[frame * outputs + channel] = samples[frame];
                }
            }
            // An effect that calls the host every block would otherwise grow the record forever.
            effect.host().clearCalls();
        }
        output.write(outFrames.data(), frames);
        done += frames;
        progress.update(done);
    }
    std::signal(SIGINT, previousHandler);
    progress.finish();
    effect.dispatch(effMainsChanged, 0, 0);
    effect.close();
    output.close();
    pending.commit();
    std::printf("output:  %s (%s, %d channel%s, %lld frames)\n", outPath.c_str(), output.formatName().c_str(), outputs,
                outputs == 1 ? "" : "s", static_cast<long long>(done));
    return 0;
}

} // namespace

const Command renderCommand{
    "render",
    "MODULE IN OUT [--param INDEX=VALUE ...] [--block N] [--rate HZ] [--accumulate]",
    "plays an audio file through the effect and writes what comes out",
    "Reads IN (any file libsndfile reads), plays it through the effect block by block as a\n"
    "host does (effOpen, effSetSampleRate, effSetBlockSize, effMainsChanged 1, the\n"
    "processing calls, effMainsChanged 0, effClose) and writes the effect's outputs to OUT,\n"
    "one channel per output. OUT has IN's format when its extension names IN's type, the\n"
    "type it names otherwise, and 32-bit float WAV when it names none. A mono IN feeds every\n"
    "input; otherwise channel n feeds input n, and the choice is printed. OUT appears only\n"
    "when the whole file has been written.\n"
    "\n"
    "  --param INDEX=VALUE   set parameter INDEX to a normalised VALUE (0 to 1) first;\n"
    "                        may be given more than once\n"
    "  --block N             frames per processing call (default 512)\n"
    "  --rate HZ             sample rate told to the effect (default: IN's)\n"
    "  --accumulate          use process, adding into zeroed outputs, not processReplacing\n",
    runRender,
};

} // namespace vela
