// SPDX-License-Identifier: MIT
#include "frame/effect_extended.h"

#include "frame/opcodes.h"

namespace vela {

intptr_t EffectExtended::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    // Subtracting in unsigned arithmetic cannot overflow, and one comparison then sends
    // everything outside 25 to 58, negatives included, onwards.
    if (static_cast<uint32_t>(opcode) - uint32_t{effProcessEvents} > uint32_t{effGetVstVersion - effProcessEvents}) {
        return EffectCore::dispatcher(opcode, index, value, ptr, opt);
    }
    char* const text = static_cast<char*>(ptr);
    switch (static_cast<EffectOpcode>(opcode)) {
    case effProcessEvents:
        return processEvents(ptr);
    case effCanBeAutomated:
        return canBeAutomated(index);
    case effString2Parameter:
        return string2Parameter(index, text);
    case effGetNumProgramCategories:
        return getNumProgramCategories();
    // The category travels in value and the program in index.
    case effGetProgramNameIndexed:
        return getProgramNameIndexed(static_cast<int32_t>(value), index, text);
    case effCopyProgram:
        return copyProgram(index);
    case effConnectInput:
        connectInput(index, value != 0);
        return 1;
    case effConnectOutput:
        connectOutput(index, value != 0);
        return 1;
    case effGetInputProperties:
        return getInputProperties(index, static_cast<VstPinProperties*>(ptr));
    case effGetOutputProperties:
        return getOutputProperties(index, static_cast<VstPinProperties*>(ptr));
    case effGetPlugCategory:
        return getPlugCategory();
    case effGetCurrentPosition:
        return getCurrentPosition();
    case effGetDestinationBuffer:
        return reinterpret_cast<intptr_t>(getDestinationBuffer());
    case effOfflineNotify:
        return offlineNotify(ptr, static_cast<int32_t>(value), index != 0);
    case effOfflinePrepare:
        return offlinePrepare(ptr, static_cast<int32_t>(value));
    case effOfflineRun:
        return offlineRun(ptr, static_cast<int32_t>(value));
    case effProcessVarIo:
        return processVarIo(ptr);
    // The input arrangement travels in value, so value must be pointer-wide.
    case effSetSpeakerArrangement:
        return setSpeakerArrangement(reinterpret_cast<void*>(value), ptr);
    case effSetBlockSizeAndSampleRate:
        setBlockSizeAndSampleRate(static_cast<int32_t>(value), opt);
        return 1;
    case effSetBypass:
        return setBypass(value != 0);
    case effGetEffectName:
        return getEffectName(text);
    case effGetErrorText:
        return getErrorText(text);
    case effGetVendorString:
        return getVendorString(text);
    case effGetProductString:
        return getProductString(text);
    case effGetVendorVersion:
        return getVendorVersion();
    case effVendorSpecific:
        return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
        return canDo(text);
    case effGetTailSize:
        return getTailSize();
    case effIdle:
        return effectIdle();
    case effGetIcon:
        return reinterpret_cast<intptr_t>(getIcon());
    case effSetViewPosition:
        return setViewPosition(index, static_cast<int32_t>(value));
    case effGetParameterProperties:
        return getParameterProperties(index, ptr);
    // Answered inverted: 1 means the editor does without key presses.
    case effKeysRequired:
        return keysRequired() ? 0 : 1;
    case effGetVstVersion:
        return getVstVersion();
    default:
        break;
    }
    return 0;
}

int32_t EffectExtended::hostWantMidi(int32_t filter)
{
    return static_cast<int32_t>(callHost(audioMasterWantMidi, 0, filter, nullptr, 0.0f, 0));
}

void* EffectExtended::hostGetTime(int32_t filter)
{
    return reinterpret_cast<void*>(callHost(audioMasterGetTime, 0, filter, nullptr, 0.0f, 0));
}

int32_t EffectExtended::hostTempoAt(int32_t samplePosition)
{
    return static_cast<int32_t>(callHost(audioMasterTempoAt, 0, samplePosition, nullptr, 0.0f, 0));
}

int32_t EffectExtended::processEvents(void*)
{
    return 0;
}

int32_t EffectExtended::hostGetNumAutomatableParameters()
{
    return static_cast<int32_t>(callHost(audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0.0f, 0));
}

int32_t EffectExtended::hostGetParameterQuantization()
{
    return static_cast<int32_t>(callHost(audioMasterGetParameterQuantization, 0, 0, nullptr, 0.0f, 0));
}

bool EffectExtended::canBeAutomated(int32_t)
{
    return true;
}

bool EffectExtended::string2Parameter(int32_t, char*)
{
    return false;
}

float EffectExtended::reservedFloatQuery(int32_t, int32_t)
{
    return 0.0f;
}

int32_t EffectExtended::getNumProgramCategories()
{
    return 1;
}

bool EffectExtended::getProgramNameIndexed(int32_t, int32_t, char*)
{
    return false;
}

bool EffectExtended::copyProgram(int32_t)
{
    return false;
}

bool EffectExtended::hostIOChanged()
{
    return callHost(audioMasterIOChanged, 0, 0, nullptr, 0.0f, 0) != 0;
}

bool EffectExtended::hostNeedIdle()
{
    return callHost(audioMasterNeedIdle, 0, 0, nullptr, 0.0f, 0) != 0;
}

bool EffectExtended::hostSizeWindow(int32_t width, int32_t height)
{
    return callHost(audioMasterSizeWindow, width, height, nullptr, 0.0f, 0) != 0;
}

// The host may set the rate during the call (operation 10 or 43), so the field is read after it.
float EffectExtended::hostGetSampleRate()
{
    callHost(audioMasterGetSampleRate, 0, 0, nullptr, 0.0f, 0);
    return sampleRate;
}

int32_t EffectExtended::hostGetBlockSize()
{
    callHost(audioMasterGetBlockSize, 0, 0, nullptr, 0.0f, 0);
    return blockSize;
}

int32_t EffectExtended::hostGetInputLatency()
{
    return static_cast<int32_t>(callHost(audioMasterGetInputLatency, 0, 0, nullptr, 0.0f, 0));
}

int32_t EffectExtended::hostGetOutputLatency()
{
    return static_cast<int32_t>(callHost(audioMasterGetOutputLatency, 0, 0, nullptr, 0.0f, 0));
}

// The pin is not passed on: value stays 0.
AEffect* EffectExtended::hostGetPreviousPlug(int32_t)
{
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug, 0, 0, nullptr, 0.0f, 0));
}

AEffect* EffectExtended::hostGetNextPlug(int32_t)
{
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug, 0, 0, nullptr, 0.0f, 0));
}

void EffectExtended::connectInput(int32_t, bool) {}
void EffectExtended::connectOutput(int32_t, bool) {}

bool EffectExtended::getInputProperties(int32_t, VstPinProperties*)
{
    return false;
}

bool EffectExtended::getOutputProperties(int32_t, VstPinProperties*)
{
    return false;
}

int32_t EffectExtended::getPlugCategory()
{
    return (effectRecord.flags & effFlagsIsSynth) != 0 ? 2 : 0;
}

int32_t EffectExtended::hostWillReplaceOrAccumulate()
{
    return static_cast<int32_t>(callHost(audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0.0f, 0));
}

int32_t EffectExtended::hostGetCurrentProcessLevel()
{
    return static_cast<int32_t>(callHost(audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f, 0));
}

int32_t EffectExtended::hostGetAutomationState()
{
    return static_cast<int32_t>(callHost(audioMasterGetAutomationState, 0, 0, nullptr, 0.0f, 0));
}

void EffectExtended::setIsAsync(bool on)
{
    setFlag(effFlagsExtIsAsync, on);
}

void EffectExtended::setHasBuffer(bool on)
{
    setFlag(effFlagsExtHasBuffer, on);
}

int32_t EffectExtended::getCurrentPosition()
{
    return 0;
}

float* EffectExtended::getDestinationBuffer()
{
    return nullptr;
}

bool EffectExtended::hostOfflineRead(void* task, int32_t option, bool readSource)
{
    return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, task, 0.0f, 0) != 0;
}

bool EffectExtended::hostOfflineWrite(void* task, int32_t option)
{
    return callHost(audioMasterOfflineWrite, 0, option, task, 0.0f, 0) != 0;
}

bool EffectExtended::hostOfflineStart(void* audioFiles, int32_t fileCount, int32_t newFileCount)
{
    return callHost(audioMasterOfflineStart, newFileCount, fileCount, audioFiles, 0.0f, 0) != 0;
}

int32_t EffectExtended::hostOfflineGetCurrentPass()
{
    return callHost(audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0.0f, 0) != 0 ? 1 : 0;
}

int32_t EffectExtended::hostOfflineGetCurrentMetaPass()
{
    return callHost(audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0.0f, 0) != 0 ? 1 : 0;
}

bool EffectExtended::offlineNotify(void*, int32_t, bool)
{
    return false;
}

bool EffectExtended::offlinePrepare(void*, int32_t)
{
    return false;
}

bool EffectExtended::offlineRun(void*, int32_t)
{
    return false;
}

int32_t EffectExtended::offlineSpareA()
{
    return 0;
}

int32_t EffectExtended::offlineSpareB()
{
    return 0;
}

int32_t EffectExtended::hostSetOutputSampleRate(float rate)
{
    return static_cast<int32_t>(callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate, 0));
}

// The input arrangement travels in value, so value must be pointer-wide.
bool EffectExtended::hostGetSpeakerArrangement(void* input, void* output)
{
    return callHost(audioMasterGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(input), output, 0.0f, 0) != 0;
}

bool EffectExtended::hostGetVendorString(char* text)
{
    return callHost(audioMasterGetVendorString, 0, 0, text, 0.0f, 0) != 0;
}

bool EffectExtended::hostGetProductString(char* text)
{
    return callHost(audioMasterGetProductString, 0, 0, text, 0.0f, 0) != 0;
}

int32_t EffectExtended::hostGetVendorVersion()
{
    return static_cast<int32_t>(callHost(audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f, 0));
}

intptr_t EffectExtended::hostVendorSpecific(int32_t index, intptr_t value, void* ptr, float opt)
{
    return callHost(audioMasterVendorSpecific, index, value, ptr, opt, 0);
}

int32_t EffectExtended::hostCanDo(char* word)
{
    return callHost(audioMasterCanDo, 0, 0, word, 0.0f, 0) != 0 ? 1 : 0;
}

void EffectExtended::setIsSynth(bool on)
{
    setFlag(effFlagsIsSynth, on);
}

void EffectExtended::setNoSoundInStop(bool on)
{
    setFlag(effFlagsNoSoundInStop, on);
}

int32_t EffectExtended::hostGetLanguage()
{
    return static_cast<int32_t>(callHost(audioMasterGetLanguage, 0, 0, nullptr, 0.0f, 0));
}

void* EffectExtended::hostOpenWindow(void* window)
{
    return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window, 0.0f, 0));
}

bool EffectExtended::hostCloseWindow(void* window)
{
    return callHost(audioMasterCloseWindow, 0, 0, window, 0.0f, 0) != 0;
}

void* EffectExtended::hostGetDirectory()
{
    return reinterpret_cast<void*>(callHost(audioMasterGetDirectory, 0, 0, nullptr, 0.0f, 0));
}

bool EffectExtended::hostUpdateDisplay()
{
    return callHost(audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f, 0) != 0;
}

bool EffectExtended::processVarIo(void*)
{
    return false;
}

bool EffectExtended::setSpeakerArrangement(void*, void*)
{
    return false;
}

// Writes the fields directly, so overrides of setBlockSize and setSampleRate do not see it.
void EffectExtended::setBlockSizeAndSampleRate(int32_t newBlockSize, float newSampleRate)
{
    blockSize = newBlockSize;
    sampleRate = newSampleRate;
}

bool EffectExtended::setBypass(bool)
{
    return false;
}

bool EffectExtended::getEffectName(char*)
{
    return false;
}

bool EffectExtended::getErrorText(char*)
{
    return false;
}

bool EffectExtended::getVendorString(char*)
{
    return false;
}

bool EffectExtended::getProductString(char*)
{
    return false;
}

int32_t EffectExtended::getVendorVersion()
{
    return 0;
}

intptr_t EffectExtended::vendorSpecific(int32_t, intptr_t, void*, float)
{
    return 0;
}

int32_t EffectExtended::canDo(char*)
{
    return 0;
}

void* EffectExtended::getIcon()
{
    return nullptr;
}

bool EffectExtended::setViewPosition(int32_t, int32_t)
{
    return false;
}

int32_t EffectExtended::getTailSize()
{
    return 0;
}

int32_t EffectExtended::effectIdle()
{
    return 0;
}

bool EffectExtended::getParameterProperties(int32_t, void*)
{
    return false;
}

bool EffectExtended::keysRequired()
{
    return false;
}

int32_t EffectExtended::getVstVersion()
{
    return 2;
}

bool EffectExtended::hostProcessEvents(void* events)
{
    return callHost(audioMasterProcessEvents, 0, 0, events, 0.0f, 0) == 1;
}

} // namespace vela
