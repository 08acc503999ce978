// SPDX-License-Identifier: MIT
#include "effect/switch_effect.h"

#include <cstdio>
#include <cstring>
#include <limits>

namespace vela {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

struct ParameterDefault {
    const char* name;
    float scale;
    float initialValue;
};

const ParameterDefault kParameterDefaults[SwitchEffect::kParameterCount] = {
    {"Vela button (On/Off)  ", 127.0f, 0.0f},
};

static_assert(ProgramRecord::kValueCount == SwitchEffect::kParameterSlots);

// 23 characters: the default name fills the program's name field.
constexpr char kDefaultProgramName[] = "Press me!              ";
static_assert(sizeof kDefaultProgramName == ProgramRecord::kNameSize);

// Copies a fixed text and its terminator; a null buffer gets nothing.
bool writeText(char* buffer, const char* text)
{
    if (!buffer) {
        return false;
    }
    std::memcpy(buffer, text, std::strlen(text) + 1);
    return true;
}

// The block's four sample arrays.
struct Channels {
    const float* inLeft;
    const float* inRight;
    float* outLeft;
    float* outRight;
};

using Float4 = float __attribute__((vector_size(16)));
using Float8 = float __attribute__((vector_size(32)));

// The loops name SSE2, the floor of both x86 targets, because the 32-bit compiler would
// otherwise use neither its vectors nor its rounding; AVX runs only where the processor has it.

// Writes a Lane to the output, or adds it to what the output holds there.
template <bool accumulate, typename Lane>
[[gnu::always_inline, gnu::target("sse2,fpmath=sse")]] inline void emit(float* output, const Lane& lane)
{
    Lane result = lane;
    if constexpr (accumulate) {
        Lane held;
        std::memcpy(&held, output, sizeof held);
        result = held + lane;
    }
    std::memcpy(output, &result, sizeof result);
}

// Mixes frames [begin, frames) Lane by Lane as far as whole Lanes reach and answers where it
// stopped. Both inputs of a Lane are read before either output of it is written, the left
// output before the right one is read.
template <typename Lane, bool on, bool accumulate>
[[gnu::always_inline, gnu::target("sse2,fpmath=sse")]] inline int32_t mixFrames(const Channels& channels, int32_t begin,
                                                                                int32_t frames)
{
    constexpr int32_t width = sizeof(Lane) / sizeof(float);
    const float* inLeft = channels.inLeft;
    const float* inRight = channels.inRight;
    float* outLeft = channels.outLeft;
    float* outRight = channels.outRight;
    int32_t i = begin;
    for (; i + width <= frames; i += width) {
        Lane a;
        Lane b;
        std::memcpy(&a, inLeft + i, sizeof a);
        std::memcpy(&b, inRight + i, sizeof b);
        if constexpr (on) {
            a = (a + b) * 0.5f;
            b = a;
        }
        emit<accumulate>(outLeft + i, a);
        emit<accumulate>(outRight + i, b);
    }
    return i;
}

// Frame by frame: the one order that stays exact when arrays partly overlap.
template <bool on, bool accumulate>
[[gnu::target("sse2,fpmath=sse")]] void mixOneByOne(const Channels& channels, int32_t frames)
{
    mixFrames<float, on, accumulate>(channels, 0, frames);
}

template <bool on, bool accumulate>
[[gnu::target("sse2,fpmath=sse")]] void mixFourAtOnce(const Channels& channels, int32_t frames)
{
    mixFrames<float, on, accumulate>(channels, mixFrames<Float4, on, accumulate>(channels, 0, frames), frames);
}

template <bool on, bool accumulate>
[[gnu::target("avx,fpmath=sse")]] void mixEightAtOnce(const Channels& channels, int32_t frames)
{
    const int32_t done = mixFrames<Float8, on, accumulate>(channels, 0, frames);
    mixFrames<float, on, accumulate>(channels, mixFrames<Float4, on, accumulate>(channels, done, frames), frames);
}

bool processorHasAvx()
{
    static const bool hasAvx = __builtin_cpu_supports("avx");
    return hasAvx;
}

// True when two arrays of frames samples are the same array or share no sample.
bool sameOrApart(const float* first, const float* second, int32_t frames)
{
    const auto firstStart = reinterpret_cast<uintptr_t>(first);
    const auto secondStart = reinterpret_cast<uintptr_t>(second);
    const auto bytes = static_cast<uintptr_t>(frames) * sizeof(float);
    return firstStart == secondStart || firstStart + bytes <= secondStart || secondStart + bytes <= firstStart;
}

// A vector reads several frames before it writes any, which gives the frame-by-frame result
// only when each output is exactly an input or apart from it, and so are the two outputs.
bool vectorsAreExact(const Channels& channels, int32_t frames)
{
    return sameOrApart(channels.outLeft, channels.inLeft, frames) &&
           sameOrApart(channels.outLeft, channels.inRight, frames) &&
           sameOrApart(channels.outRight, channels.inLeft, frames) &&
           sameOrApart(channels.outRight, channels.inRight, frames) &&
           sameOrApart(channels.outLeft, channels.outRight, frames);
}

template <bool on, bool accumulate>
void mixBlock(const Channels& channels, int32_t frames)
{
    if (!vectorsAreExact(channels, frames)) {
        mixOneByOne<on, accumulate>(channels, frames);
    } else if (processorHasAvx()) {
        mixEightAtOnce<on, accumulate>(channels, frames);
    } else {
        mixFourAtOnce<on, accumulate>(channels, frames);
    }
}

} // namespace

SwitchEffect::SwitchEffect(audioMasterCallback hostCallback)
    : EffectExtended(hostCallback, kProgramCount, kParameterCount)
{
    running.store(0, kRelaxed);
    initDefaults();
    // Re-applies program 0, which reports parameter 0 to the host while still constructing.
    setProgram(0);
    setUniqueID(fourCharCode("VeLA"));
    setNumInputs(2);
    setNumOutputs(2);
    setCanSingleChannel(true);
    setCanReplacing(true);
    suspend();
}

void SwitchEffect::initDefaults()
{
    for (int32_t i = 0; i < kParameterCount; ++i) {
        paramValue[i].store(0.0f, kRelaxed);
        paramScale[i] = kParameterDefaults[i].scale;
        writeText(paramName[i], kParameterDefaults[i].name);
    }
    currentProgram = 0;
    char programName[sizeof kDefaultProgramName];
    std::memcpy(programName, kDefaultProgramName, sizeof programName);
    setProgramName(programName);
    for (int32_t i = 0; i < kParameterCount; ++i) {
        setParameter(i, kParameterDefaults[i].initialValue / paramScale[i]);
    }
}

void SwitchEffect::setParameter(int32_t index, float value)
{
    if (index < 0 || index >= kParameterCount) {
        return;
    }
    paramValue[index].store(paramScale[index] * value, kRelaxed);
    programs[currentProgram].values[index].store(value, kRelaxed);
}

float SwitchEffect::getParameter(int32_t index)
{
    if (index < 0 || index >= kParameterCount) {
        return 0.0f;
    }
    return paramValue[index].load(kRelaxed) / paramScale[index];
}

void SwitchEffect::reportParameterChange(int32_t index, float raw, int32_t mode)
{
    if (index < 0 || index >= kParameterCount) {
        return;
    }
    if (mode == kReportRawValue) {
        paramValue[index].store(raw, kRelaxed);
    }
    if (mode == kReportNothing) {
        return;
    }
    setParameterAutomated(index, paramValue[index].load(kRelaxed) / paramScale[index]);
}

void SwitchEffect::process(float** inputs, float** outputs, int32_t sampleFrames)
{
    runSampleLoop(inputs, outputs, sampleFrames, true);
}

void SwitchEffect::processReplacing(float** inputs, float** outputs, int32_t sampleFrames)
{
    runSampleLoop(inputs, outputs, sampleFrames, false);
}

int32_t truncateToInteger(float value)
{
    if (value >= -2147483648.0f && value < 2147483648.0f) {
        return static_cast<int32_t>(value);
    }
    return std::numeric_limits<int32_t>::min();
}

void SwitchEffect::runSampleLoop(float** inputs, float** outputs, int32_t sampleFrames, bool accumulate)
{
    if (running.load(kRelaxed) != 1 || sampleFrames <= 0) {
        return;
    }
    const Channels channels{inputs[0], inputs[1], outputs[0], outputs[1]};
    // Only the low 8 bits of the truncated value count: internal 256.0 mixes nothing.
    const bool on = (truncateToInteger(paramValue[0].load(kRelaxed)) & 0xFF) != 0;
    using BlockLoop = void (*)(const Channels&, int32_t);
    static constexpr BlockLoop loops[2][2] = {
        {mixBlock<false, false>, mixBlock<false, true>},
        {mixBlock<true, false>, mixBlock<true, true>},
    };
    loops[on][accumulate](channels, sampleFrames);
}

void SwitchEffect::setProgram(int32_t program)
{
    currentProgram = program;
    for (int32_t i = 0; i < kParameterCount; ++i) {
        setParameter(i, programs[program].values[i].load(kRelaxed));
        reportParameterChange(i, 0.0f, kReportCurrentValue);
    }
}

void SwitchEffect::setProgramName(char* name)
{
    if (!name) {
        return;
    }
    char* stored = programs[currentProgram].name;
    std::size_t length = 0;
    while (length < ProgramRecord::kNameSize - 1 && name[length] != 0) {
        ++length;
    }
    std::memcpy(stored, name, length);
    stored[length] = 0;
}

void SwitchEffect::getProgramName(char* name)
{
    writeText(name, programs[currentProgram].name);
}

void SwitchEffect::getParameterLabel(int32_t index, char* label)
{
    if (index == 0) {
        writeText(label, "            ");
    }
}

void SwitchEffect::getParameterDisplay(int32_t index, char* text)
{
    // The whole integer counts here, unlike the sample loop's low 8 bits.
    if (index == 0) {
        writeText(text, truncateToInteger(paramValue[0].load(kRelaxed)) != 0 ? "ON" : "OFF");
    }
}

void SwitchEffect::getParameterName(int32_t index, char* text)
{
    if (index >= 0 && index < kParameterCount) {
        writeText(text, paramName[index]);
    }
}

void SwitchEffect::suspend()
{
    running.store(0, kRelaxed);
}

void SwitchEffect::resume()
{
    running.store(1, kRelaxed);
}

bool SwitchEffect::getOutputProperties(int32_t index, VstPinProperties* properties)
{
    // A signed comparison: negative pins are answered too, pin -1 as "VELA 0".
    if (index >= 2 || !properties) {
        return false;
    }
    std::snprintf(properties->label, sizeof properties->label, "VELA %1d", index + 1);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

int32_t SwitchEffect::hostCanDo(char*)
{
    return 0;
}

bool SwitchEffect::getEffectName(char* name)
{
    return writeText(name, "Vela");
}

bool SwitchEffect::getVendorString(char* text)
{
    return writeText(text, "Ozmir v1.0");
}

bool SwitchEffect::getProductString(char* text)
{
    return writeText(text, "Vela");
}

int32_t SwitchEffect::canDo(char* word)
{
    if (!word) {
        return -1;
    }
    for (const char* known : {"plugAsChannelInsert", "plugAsSend"}) {
        if (std::strcmp(word, known) == 0) {
            return 1;
        }
    }
    return -1;
}

bool SwitchEffect::hostProcessEvents(void* events)
{
    return EffectExtended::hostProcessEvents(events);
}

} // namespace vela
