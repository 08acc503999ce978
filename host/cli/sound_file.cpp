// SPDX-License-Identifier: MIT
#include "host/cli/sound_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "host/cli/sample_conversion.h"

namespace vela {

namespace {

SNDFILE* asFile(void* handle)
{
    return static_cast<SNDFILE*>(handle);
}

std::string lowerExtension(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    if (!extension.empty()) {
        extension.erase(0, 1);
    }
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "aif" ? "aiff" : extension;
}

// The major format whose usual extension this is, or 0.
int majorFormatFor(const std::string& extension)
{
    if (extension.empty()) {
        return 0;
    }
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension && extension == info.extension) {
            return info.format;
        }
    }
    return 0;
}

bool formatWorks(int format, int channels, int rate)
{
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    return sf_format_check(&info) != 0;
}

int outputFormat(const std::string& namedPath, int sourceFormat, int channels, int rate)
{
    const int major = majorFormatFor(lowerExtension(namedPath));
    if (major == 0) {
        return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    }
    if (major == (sourceFormat & SF_FORMAT_TYPEMASK) && formatWorks(sourceFormat, channels, rate)) {
        return sourceFormat;
    }
    for (const int subtype : {sourceFormat & SF_FORMAT_SUBMASK, int{SF_FORMAT_FLOAT}, int{SF_FORMAT_PCM_24},
                              int{SF_FORMAT_PCM_16}, int{SF_FORMAT_VORBIS}}) {
        if (formatWorks(major | subtype, channels, rate)) {
            return major | subtype;
        }
    }
    return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
}

double integerFullScaleOf(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return 128.0;
    case SF_FORMAT_PCM_16:
        return 32768.0;
    case SF_FORMAT_PCM_24:
        return 8388608.0;
    case SF_FORMAT_PCM_32:
        return 2147483648.0;
    default:
        return 0.0;
    }
}

sf_count_t readFrames(SNDFILE* file, int16_t* samples, sf_count_t frames)
{
    return sf_readf_short(file, samples, frames);
}

sf_count_t readFrames(SNDFILE* file, int32_t* samples, sf_count_t frames)
{
    return sf_readf_int(file, samples, frames);
}

sf_count_t writeFrames(SNDFILE* file, const int16_t* samples, sf_count_t frames)
{
    return sf_writef_short(file, samples, frames);
}

sf_count_t writeFrames(SNDFILE* file, const int32_t* samples, sf_count_t frames)
{
    return sf_writef_int(file, samples, frames);
}

template <typename Integer>
sf_count_t readConverted(SNDFILE* file, std::vector<Integer>& scratch, float* interleaved, sf_count_t frames,
                         int channels)
{
    scratch.resize(static_cast<std::size_t>(frames) * channels);
    const sf_count_t read = readFrames(file, scratch.data(), frames);
    toFloats(scratch.data(), interleaved, static_cast<std::size_t>(std::max<sf_count_t>(read, 0)) * channels);
    return read;
}

template <typename Integer>
sf_count_t writeConverted(SNDFILE* file, std::vector<Integer>& scratch, const float* interleaved, sf_count_t frames,
                          int channels, double fullScale)
{
    scratch.resize(static_cast<std::size_t>(frames) * channels);
    toIntegers(interleaved, scratch.data(), scratch.size(), fullScale);
    return writeFrames(file, scratch.data(), frames);
}

std::string formatInfoName(int command, int format)
{
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, command, &info, sizeof info) != 0 || !info.name) {
        return "unknown";
    }
    return info.name;
}

} // namespace

SoundFile::SoundFile(void* file, const std::string& path, int format, int channels, int sampleRate, int64_t frames)
    : handle(file),
      filePath(path),
      fileFormat(format),
      channelCount(channels),
      rate(sampleRate),
      frameCount(frames),
      integerFullScale(integerFullScaleOf(format)),
      samples(integerFullScale == 0.0       ? Samples::floats
              : integerFullScale <= 32768.0 ? Samples::shorts
                                            : Samples::ints)
{
}

SoundFile::SoundFile(SoundFile&& other) noexcept
    : handle(std::exchange(other.handle, nullptr)),
      filePath(std::move(other.filePath)),
      fileFormat(other.fileFormat),
      channelCount(other.channelCount),
      rate(other.rate),
      frameCount(other.frameCount),
      integerFullScale(other.integerFullScale),
      samples(other.samples),
      shorts(std::move(other.shorts)),
      ints(std::move(other.ints))
{
}

SoundFile::~SoundFile()
{
    if (handle) {
        sf_close(asFile(handle));
    }
}

SoundFile SoundFile::openForReading(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        throw std::runtime_error("cannot read " + path + ": it holds no audio channels");
    }
    return SoundFile(file, path, info.format, info.channels, info.samplerate, info.frames);
}

SoundFile SoundFile::createFor(const std::string& writePath, const std::string& namedPath, const SoundFile& source,
                               int channels)
{
    SF_INFO info{};
    info.format = outputFormat(namedPath, source.fileFormat, channels, source.rate);
    info.channels = channels;
    info.samplerate = source.rate;
    SNDFILE* file = sf_open(writePath.c_str(), SFM_WRITE, &info);
    if (!file) {
        throw std::runtime_error("cannot write " + namedPath + ": " + sf_strerror(nullptr));
    }
    return SoundFile(file, namedPath, info.format, channels, source.rate, 0);
}

std::string SoundFile::formatName() const
{
    return formatInfoName(SFC_GET_FORMAT_INFO, fileFormat & SF_FORMAT_TYPEMASK) + ", " +
           formatInfoName(SFC_GET_FORMAT_INFO, fileFormat & SF_FORMAT_SUBMASK);
}

int64_t SoundFile::read(float* interleaved, int64_t frames)
{
    // Whatever a codec answers, a short read means the end, so that a caller cutting the
    // frames into blocks cuts them the same wherever its reads fall.
    int64_t done = 0;
    while (done < frames) {
        const int64_t read = readSome(interleaved + done * channelCount, frames - done);
        if (read <= 0) {
            break;
        }
        done += read;
    }
    return done;
}

int64_t SoundFile::readSome(float* interleaved, int64_t frames)
{
    SNDFILE* file = asFile(handle);
    switch (samples) {
    case Samples::shorts:
        return readConverted(file, shorts, interleaved, frames, channelCount);
    case Samples::ints:
        return readConverted(file, ints, interleaved, frames, channelCount);
    case Samples::floats:
        break;
    }
    return sf_readf_float(file, interleaved, frames);
}

void SoundFile::write(const float* interleaved, int64_t frames)
{
    SNDFILE* file = asFile(handle);
    sf_count_t written = 0;
    switch (samples) {
    case Samples::shorts:
        written = writeConverted(file, shorts, interleaved, frames, channelCount, integerFullScale);
        break;
    case Samples::ints:
        written = writeConverted(file, ints, interleaved, frames, channelCount, integerFullScale);
        break;
    case Samples::floats:
        written = sf_writef_float(file, interleaved, frames);
        break;
    }
    if (written != frames) {
        throw std::runtime_error("cannot write " + filePath + ": " + sf_strerror(file));
    }
    frameCount += frames;
}

void SoundFile::close()
{
    SNDFILE* file = asFile(std::exchange(handle, nullptr));
    const int result = file ? sf_close(file) : 0;
    if (result != 0) {
        throw std::runtime_error("cannot finish " + filePath + ": " + sf_error_number(result));
    }
}

} // namespace vela
