// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vela {

// An audio file read or written through libsndfile, frames interleaved, samples as floats
// from -1 to 1. Integer samples pass through libsndfile as shorts or ints, which it moves
// without converting where the file's byte order is the machine's, and are converted here a
// buffer at a time.
class SoundFile {
public:
    // Throws std::runtime_error "cannot read PATH: reason".
    static SoundFile openForReading(const std::string& path);
    // Creates writePath in the format namedPath's extension asks for: the source's own format
    // when the extension names the source's type, that type otherwise, and 32-bit float WAV
    // when the extension names no type libsndfile writes. Errors name namedPath.
    static SoundFile createFor(const std::string& writePath, const std::string& namedPath, const SoundFile& source,
                               int channels);

    SoundFile(SoundFile&& other) noexcept;
    SoundFile& operator=(SoundFile&&) = delete;
    SoundFile(const SoundFile&) = delete;
    ~SoundFile();

    int channels() const { return channelCount; }
    int sampleRate() const { return rate; }
    int64_t frames() const { return frameCount; }
    // "WAV, 16-bit PCM" and the like.
    std::string formatName() const;

    // Reads up to frames frames into interleaved; answers how many it read, fewer only at the
    // end of the file (0 there).
    int64_t read(float* interleaved, int64_t frames);
    // Writes frames frames; throws std::runtime_error when the file takes fewer.
    void write(const float* interleaved, int64_t frames);
    // Finishes the file; throws std::runtime_error when that fails.
    void close();

private:
    // How samples pass between libsndfile and this class.
    enum class Samples { floats, shorts, ints };

    SoundFile(void* file, const std::string& path, int format, int channels, int rate, int64_t frames);
    // Reads up to frames frames as libsndfile gives them; answers how many.
    int64_t readSome(float* interleaved, int64_t frames);

    void* handle;
    std::string filePath;
    int fileFormat;
    int channelCount;
    int rate;
    int64_t frameCount;
    // 2^(bits - 1) of an integer sample format, 0 for others. Floats are scaled by it here, not
    // by libsndfile, which reads 16-bit samples as n / 32768 but writes x * 32767, so that its
    // own round trip changes them.
    double integerFullScale;
    Samples samples;
    std::vector<int16_t> shorts;
    std::vector<int32_t> ints;
};

} // namespace vela
