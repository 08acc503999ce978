// SPDX-License-Identifier: MIT
#include "frame/effect_core.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "frame/display_format.h"
#include "frame/editor_base.h"
#include "frame/opcodes.h"
#include "frame/trampolines.h"

namespace vela {

namespace {

// The nearest float, with magnitudes beyond the float range becoming infinite rather than
// undefined; the formatter shows those as too large.
float nearestFloat(double value)
{
    if (value > std::numeric_limits<float>::max()) {
        return std::numeric_limits<float>::infinity();
    }
    if (value < -std::numeric_limits<float>::max()) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

} // namespace

EffectCore::EffectCore(audioMasterCallback hostCallback, int32_t programCount, int32_t parameterCount)
    : sampleRate(44100.0f),
      editor(nullptr),
      hostCallback(hostCallback),
      programCount(programCount),
      parameterCount(parameterCount),
      currentProgram(0),
      blockSize(1024)
{
    std::memset(&effectRecord, 0, sizeof effectRecord);
    effectRecord.magic = kEffectMagic;
    effectRecord.dispatcher = dispatcherTrampoline;
    effectRecord.process = processTrampoline;
    effectRecord.setParameter = setParameterTrampoline;
    effectRecord.getParameter = getParameterTrampoline;
    effectRecord.processReplacing = processReplacingTrampoline;
    effectRecord.numPrograms = programCount;
    effectRecord.numParams = parameterCount;
    effectRecord.numInputs = 1;
    effectRecord.numOutputs = 2;
    effectRecord.flags = 0;
    effectRecord.ioRatio = 2.0f;
    effectRecord.object = this;
    effectRecord.uniqueID = kNoEffectId;
    effectRecord.version = 2;
}

void EffectCore::setParameter(int32_t, float) {}

float EffectCore::getParameter(int32_t)
{
    return 0.0f;
}

void EffectCore::setParameterAutomated(int32_t index, float value)
{
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value, 0);
}

void EffectCore::processReplacing(float**, float**, int32_t) {}

intptr_t EffectCore::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    if (static_cast<uint32_t>(opcode) > effSetChunk) {
        return 0;
    }
    switch (static_cast<EffectOpcode>(opcode)) {
    case effOpen:
        open();
        break;
    case effClose:
        close();
        break;
    case effSetProgram:
        // Compared against the field, not the record, so a host cannot widen the bound.
        if (value >= 0 && value < programCount) {
            setProgram(static_cast<int32_t>(value));
        }
        break;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        setProgramName(static_cast<char*>(ptr));
        break;
    case effGetProgramName:
        getProgramName(static_cast<char*>(ptr));
        break;
    case effGetParamLabel:
        getParameterLabel(index, static_cast<char*>(ptr));
        break;
    case effGetParamDisplay:
        getParameterDisplay(index, static_cast<char*>(ptr));
        break;
    case effGetParamName:
        getParameterName(index, static_cast<char*>(ptr));
        break;
    case effGetVu: {
        // Saturate rather than convert an out-of-range product, which would be undefined.
        const double level = static_cast<double>(getVu()) * 32767.0;
        if (std::isnan(level)) {
            return 0;
        }
        if (level >= 2147483647.0) {
            return std::numeric_limits<int32_t>::max();
        }
        if (level <= -2147483648.0) {
            return std::numeric_limits<int32_t>::min();
        }
        return static_cast<int32_t>(level);
    }
    case effSetSampleRate:
        setSampleRate(opt);
        break;
    case effSetBlockSize:
        setBlockSize(static_cast<int32_t>(value));
        break;
    case effMainsChanged:
        if (value == 0) {
            suspend();
        } else {
            resume();
        }
        break;
    case effEditGetRect:
        return editor ? editor->getRect(static_cast<ERect**>(ptr)) : 0;
    case effEditOpen:
        return editor ? editor->open(ptr) : 0;
    case effEditClose:
        if (editor) {
            editor->close();
        }
        break;
    case effEditIdle:
        if (editor) {
            editor->idle();
        }
        break;
    case effEditDraw:
    case effEditMouse:
    case effEditKey:
    case effEditTop:
    case effEditSleep:
        break;
    case effIdentify:
        return kIdentifyAnswer;
    case effGetChunk:
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        return setChunk(ptr, static_cast<int32_t>(value), index != 0);
    default:
        break;
    }
    return 0;
}

void EffectCore::open() {}
void EffectCore::close() {}

int32_t EffectCore::getProgram()
{
    return currentProgram.load(std::memory_order_relaxed);
}

void EffectCore::setProgram(int32_t program)
{
    currentProgram.store(program, std::memory_order_relaxed);
}

void EffectCore::setProgramName(char* name)
{
    if (name) {
        name[0] = 0;
    }
}

void EffectCore::getProgramName(char* name)
{
    if (name) {
        name[0] = 0;
    }
}

void EffectCore::getParameterLabel(int32_t, char* label)
{
    if (label) {
        label[0] = 0;
    }
}

void EffectCore::getParameterDisplay(int32_t, char* text)
{
    if (text) {
        text[0] = 0;
    }
}

void EffectCore::getParameterName(int32_t, char* text)
{
    if (text) {
        text[0] = 0;
    }
}

float EffectCore::getVu()
{
    return 0.0f;
}

int32_t EffectCore::getChunk(void**, bool)
{
    return 0;
}

int32_t EffectCore::setChunk(void*, int32_t, bool)
{
    return 0;
}

void EffectCore::setSampleRate(float newSampleRate)
{
    sampleRate = newSampleRate;
}

void EffectCore::setBlockSize(int32_t newBlockSize)
{
    blockSize = newBlockSize;
}

void EffectCore::suspend() {}
void EffectCore::resume() {}

void EffectCore::setUniqueID(int32_t identifier)
{
    effectRecord.uniqueID = identifier;
}

void EffectCore::setNumInputs(int32_t count)
{
    effectRecord.numInputs = count;
}

void EffectCore::setNumOutputs(int32_t count)
{
    effectRecord.numOutputs = count;
}

void EffectCore::setHasVu(bool on)
{
    setFlag(effFlagsHasVu, on);
}

void EffectCore::setHasClip(bool on)
{
    setFlag(effFlagsHasClip, on);
}

void EffectCore::setCanSingleChannel(bool on)
{
    setFlag(effFlagsCanSingleChannel, on);
}

void EffectCore::setCanReplacing(bool on)
{
    setFlag(effFlagsCanReplacing, on);
}

void EffectCore::setProgramsAreChunks(bool on)
{
    setFlag(effFlagsProgramChunks, on);
}

void EffectCore::setRealtimeQualities(int32_t count)
{
    effectRecord.realQualities = count;
}

void EffectCore::setOfflineQualities(int32_t count)
{
    effectRecord.offQualities = count;
}

void EffectCore::setInitialDelay(int32_t delay)
{
    effectRecord.initialDelay = delay;
}

float EffectCore::getSampleRate()
{
    return sampleRate;
}

int32_t EffectCore::getBlockSize()
{
    return blockSize;
}

int32_t EffectCore::hostVersion()
{
    const intptr_t answer = callHost(audioMasterVersion, 0, 0, nullptr, 0.0f, 1);
    return answer == 0 ? 1 : static_cast<int32_t>(answer);
}

int32_t EffectCore::hostCurrentId()
{
    return static_cast<int32_t>(callHost(audioMasterCurrentId, 0, 0, nullptr, 0.0f, 0));
}

void EffectCore::hostIdle()
{
    callHost(audioMasterIdle, 0, 0, nullptr, 0.0f, 0);
}

// The host answers 0 for a connected pin; value 0 asks about an input, 1 about an output.
bool EffectCore::hostIsInputConnected(int32_t input)
{
    return callHost(audioMasterPinConnected, input, 0, nullptr, 0.0f, 0) == 0;
}

bool EffectCore::hostIsOutputConnected(int32_t output)
{
    return callHost(audioMasterPinConnected, output, 1, nullptr, 0.0f, 0) == 0;
}

void EffectCore::formatDecibels(float value, char* text)
{
    if (value > 0.0f) {
        formatFloat(nearestFloat(20.0 * std::log10(static_cast<double>(value))), text, 0);
    } else {
        writeMinusInfinityText(text);
    }
}

void EffectCore::formatFrequency(float samples, char* text)
{
    const double rate = getSampleRate();
    if (samples == 0.0f || std::isnan(samples)) {
        formatFloat(0.0f, text, 0);
    } else {
        formatFloat(nearestFloat(rate / static_cast<double>(samples)), text, 0);
    }
}

void EffectCore::formatMilliseconds(float samples, char* text)
{
    const double milliseconds = static_cast<double>(samples) * 1000.0 / getSampleRate();
    formatFloat(nearestFloat(milliseconds), text, 0);
}

void EffectCore::formatFloat(float value, char* text, int8_t reservedPositions)
{
    writeFloatText(value, text, reservedPositions);
}

void EffectCore::formatInteger(int32_t value, char* text)
{
    writeIntegerText(value, text);
}

void EffectCore::setEditor(EditorBase* newEditor)
{
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void EffectCore::setFlag(int32_t bit, bool on)
{
    if (on) {
        effectRecord.flags |= bit;
    } else {
        effectRecord.flags &= ~bit;
    }
}

intptr_t EffectCore::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt,
                              intptr_t noCallbackAnswer)
{
    if (!hostCallback) {
        return noCallbackAnswer;
    }
    return hostCallback(&effectRecord, opcode, index, value, ptr, opt);
}

} // namespace vela
