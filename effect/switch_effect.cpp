// SPDX-License-Identifier: MIT
#include "effect/switch_effect.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "effect/sample_kernels.h"
#include "frame/display_format.h"

namespace vela {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

struct ParameterDefault {
    const char* name;
    float scale;
    float initialValue;
};

const ParameterDefault kParameterDefaults[kParameterCount] = {
    {kSwitchName, 127.0f, 0.0f},
};

static_assert(ProgramRecord::kValueCount == SwitchEffect::kParameterSlots);
// 23 characters: the default name fills the program's name field.
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

// normalised × scale; a finite value too large to scale keeps the largest float of its sign, so
// that only a value set non-finite reads back non-finite.
float scaledValue(float normalised, float scale)
{
    const float scaled = normalised * scale;
    if (std::isfinite(normalised) && !std::isfinite(scaled)) {
        return std::copysign(std::numeric_limits<float>::max(), scaled);
    }
    return scaled;
}

} // namespace

int32_t truncateToInteger(float value)
{
    if (value >= -2147483648.0f && value < 2147483648.0f) {
        return static_cast<int32_t>(value);
    }
    return std::numeric_limits<int32_t>::min();
}

SwitchEffect::SwitchEffect(audioMasterCallback hostCallback)
    : EffectExtended(hostCallback, kProgramCount, kParameterCount)
{
    running.store(0, kRelaxed);
    initDefaults();
    // Re-applies program 0, which reports the switch to the host while still constructing.
    setProgram(0);
    setUniqueID(kSwitchEffectId);
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
    currentProgram.store(0, kRelaxed);
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
    paramValue[index].store(scaledValue(value, paramScale[index]), kRelaxed);
    programs[currentProgram.load(kRelaxed)].values[index].store(value, kRelaxed);
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

float SwitchEffect::switchValue() const
{
    return paramValue[kSwitch].load(kRelaxed);
}

void SwitchEffect::storeSwitchValue(float internalValue, bool reportToHost)
{
    paramValue[kSwitch].store(internalValue, kRelaxed);
    if (reportToHost) {
        reportParameterChange(kSwitch, internalValue, kReportCurrentValue);
    }
}

bool SwitchEffect::mixesToMono() const
{
    return (truncateToInteger(switchValue()) & 0xFF) != 0;
}

void SwitchEffect::process(float** inputs, float** outputs, int32_t sampleFrames)
{
    runBlock(inputs, outputs, sampleFrames, true);
}

void SwitchEffect::processReplacing(float** inputs, float** outputs, int32_t sampleFrames)
{
    runBlock(inputs, outputs, sampleFrames, false);
}

void SwitchEffect::runBlock(float** inputs, float** outputs, int32_t sampleFrames, bool accumulate)
{
    if (running.load(kRelaxed) != 1 || sampleFrames <= 0) {
        return;
    }
    const bool mean = mixesToMono();
    // Bypassed in place: each output already holds its own input.
    if (!mean && !accumulate && outputs[0] == inputs[0] && outputs[1] == inputs[1]) {
        return;
    }
    mixBlock({inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames}, mean, accumulate);
}

void SwitchEffect::setProgram(int32_t program)
{
    currentProgram.store(program, kRelaxed);
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
    char* stored = programs[currentProgram.load(kRelaxed)].name;
    std::size_t length = 0;
    while (length < ProgramRecord::kNameSize - 1 && name[length] != 0) {
        ++length;
    }
    std::memcpy(stored, name, length);
    stored[length] = 0;
}

void SwitchEffect::getProgramName(char* name)
{
    writeText(name, programs[currentProgram.load(kRelaxed)].name);
}

void SwitchEffect::getParameterLabel(int32_t index, char* label)
{
    if (index == kSwitch) {
        writeText(label, "            ");
    }
}

void SwitchEffect::getParameterDisplay(int32_t index, char* text)
{
    // The whole integer counts here, unlike the sample loop's low 8 bits.
    if (index == kSwitch) {
        writeText(text, truncateToInteger(switchValue()) != 0 ? "ON" : "OFF");
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
    static_assert(sizeof properties->label >= sizeof kOutputPinLabelPrefix + 11);
    std::memcpy(properties->label, kOutputPinLabelPrefix, sizeof kOutputPinLabelPrefix - 1);
    writeDecimal(index + 1, 1, properties->label + sizeof kOutputPinLabelPrefix - 1);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

int32_t SwitchEffect::hostCanDo(char*)
{
    return 0;
}

bool SwitchEffect::getEffectName(char* name)
{
    return writeText(name, kEffectName);
}

bool SwitchEffect::getVendorString(char* text)
{
    return writeText(text, kVendorString);
}

bool SwitchEffect::getProductString(char* text)
{
    return writeText(text, kProductName);
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
