// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>

#include "frame/aeffect.h"
#include "frame/editor_base.h"

namespace vela {

// The base of every effect: owns the record the host holds, turns the host's operations
// 0 to 24 into virtual operations and wraps host callback operations 0 to 4.
//
// Each operation's comment ends with the context it runs in: [main thread] for the host's
// ordinary calls, [audio thread] for processing, [UI thread] for the editor's, [any thread] where
// hosts differ or the effect may call from anywhere (the host… calls run on whichever thread the
// effect makes them from), and [during construction] for what the effect sets up once.
class EffectCore {
public:
    EffectCore(audioMasterCallback hostCallback, int32_t programCount, int32_t parameterCount);
    EffectCore(const EffectCore&) = delete;
    EffectCore& operator=(const EffectCore&) = delete;

    // Destroys the registered editor, if any. Inline, as are the extended layer's constructor and
    // destructor, so that the compiler sees an effect's whole destruction at once and the module
    // needs no table of virtual functions for the extended layer.
    virtual ~EffectCore() { delete editor; }

    // Stores a normalised parameter value. [any thread]
    virtual void setParameter(int32_t index, float value);
    // Answers a normalised parameter value. [any thread]
    virtual float getParameter(int32_t index);
    // Stores the value, then reports it to the host as an automated change. [any thread]
    virtual void setParameterAutomated(int32_t index, float value);
    // Adds the processed inputs to the outputs. [audio thread]
    virtual void process(float** inputs, float** outputs, int32_t sampleFrames) = 0;
    // Writes the processed inputs over the outputs. [audio thread]
    virtual void processReplacing(float** inputs, float** outputs, int32_t sampleFrames);
    // Turns a numbered host operation into a virtual operation and answers it. [main thread]
    virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    // Called when the host opens the effect. [main thread]
    virtual void open();
    // Called when the host closes the effect, just before it is destroyed. [main thread]
    virtual void close();
    // Answers the current program number. [main thread]
    virtual int32_t getProgram();
    // Makes a program current. [main thread]
    virtual void setProgram(int32_t program);
    // Renames the current program. [main thread]
    virtual void setProgramName(char* name);
    // Writes the current program's name. [main thread]
    virtual void getProgramName(char* name);
    // Writes a parameter's unit label. [main thread]
    virtual void getParameterLabel(int32_t index, char* label);
    // Writes a parameter's value as the host shows it. [main thread]
    virtual void getParameterDisplay(int32_t index, char* text);
    // Writes a parameter's name. [main thread]
    virtual void getParameterName(int32_t index, char* text);
    // Answers the meter level, 0.0 to 1.0. [any thread]
    virtual float getVu();
    // Points data at the effect's state and answers its size in bytes; 0 when there is none. [main thread]
    virtual int32_t getChunk(void** data, bool isPreset);
    // Restores state the host saved with getChunk. [main thread]
    virtual int32_t setChunk(void* data, int32_t byteSize, bool isPreset);
    // Stores the host's sample rate. [main thread]
    virtual void setSampleRate(float sampleRate);
    // Stores the host's largest block size. [main thread]
    virtual void setBlockSize(int32_t blockSize);
    // Called when the host switches processing off. [main thread]
    virtual void suspend();
    // Called when the host switches processing on. [main thread]
    virtual void resume();

    // Record setters: each writes its own record field only. [during construction]
    virtual void setUniqueID(int32_t identifier);
    virtual void setNumInputs(int32_t count);
    virtual void setNumOutputs(int32_t count);
    // Flag setters: each sets or clears its own bit of the record's flags only. [during construction]
    virtual void setHasVu(bool on);
    virtual void setHasClip(bool on);
    virtual void setCanSingleChannel(bool on);
    virtual void setCanReplacing(bool on);
    virtual void setProgramsAreChunks(bool on);
    virtual void setRealtimeQualities(int32_t count);
    virtual void setOfflineQualities(int32_t count);
    virtual void setInitialDelay(int32_t delay);

    // Answers the sample rate the host announced. [any thread]
    virtual float getSampleRate();
    // Answers the block size the host announced. [any thread]
    virtual int32_t getBlockSize();

    // Asks the host for its interface version; 1 when it does not say. [any thread]
    virtual int32_t hostVersion();
    // Asks the host for the identifier of the effect it is loading. [any thread]
    virtual int32_t hostCurrentId();
    // Gives the host a chance to run its idle work. [any thread]
    virtual void hostIdle();
    // True when the host reports the input pin connected; the host answers 0 for connected. [any thread]
    virtual bool hostIsInputConnected(int32_t input);
    // True when the host reports the output pin connected; the host answers 0 for connected. [any thread]
    virtual bool hostIsOutputConnected(int32_t output);

    // Display conversions; each writes at most 8 characters and a terminator.
    // Writes the decibel value of a linear level, or minus infinity for 0 and below. [any thread]
    virtual void formatDecibels(float value, char* text);
    // Writes the frequency whose period is the given number of samples. [any thread]
    virtual void formatFrequency(float samples, char* text);
    // Writes the duration of the given number of samples in milliseconds. [any thread]
    virtual void formatMilliseconds(float samples, char* text);
    // Writes a decimal text with a colon separator, filling 8 positions less reservedPositions. [any thread]
    virtual void formatFloat(float value, char* text, int8_t reservedPositions);
    // Writes an integer right-aligned in 7 positions. [any thread]
    virtual void formatInteger(int32_t value, char* text);

    // Registers the editor the host's editor operations reach; null unregisters it.
    void setEditor(EditorBase* newEditor);
    EditorBase* getEditor() const { return editor; }
    AEffect* getAeffect() { return &effectRecord; }

protected:
    // Sets or clears one bit of the record's flags.
    void setFlag(int32_t bit, bool on);
    // Calls the host, or answers noCallbackAnswer when there is no callback.
    intptr_t callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt, intptr_t noCallbackAnswer);

    AEffect effectRecord;
    float sampleRate;
    EditorBase* editor;
    audioMasterCallback hostCallback;
    int32_t programCount;
    int32_t parameterCount;
    // Changed by the host's program calls while parameter calls on other threads read it.
    std::atomic<int32_t> currentProgram;
    int32_t blockSize;
};

} // namespace vela
