// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "frame/aeffect.h"
#include "frame/effect_core.h"
#include "frame/vst_pin_properties.h"

namespace vela {

// The second layer of every effect: turns the host's operations 25 to 58 into virtual
// operations, wraps host callback operations 6 to 42 and sets the record's flags 256 to 2048.
// Records the host owns (events, time, speaker arrangements, offline tasks and files, window
// descriptions) travel as untyped pointers: this layer never reads them.
class EffectExtended : public EffectCore {
public:
    // Adds no state: takes the core's constructor and keeps the implicit, inline destructor.
    using EffectCore::EffectCore;

    // Answers operations 25 to 58 itself and hands every other number to the core dispatcher. [main thread]
    intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;

    // Asks the host to send MIDI events; answers what the host says. [any thread]
    virtual int32_t hostWantMidi(int32_t filter);
    // Asks the host for its time record; null when it has none. [audio thread]
    virtual void* hostGetTime(int32_t filter);
    // Asks the host for the tempo at a sample position. [audio thread]
    virtual int32_t hostTempoAt(int32_t samplePosition);
    // Takes the events the host sends before a block; answers 0. [audio thread]
    virtual int32_t processEvents(void* events);
    // Asks the host how many parameters it can automate. [any thread]
    virtual int32_t hostGetNumAutomatableParameters();
    // Asks the host for its parameter quantization. [any thread]
    virtual int32_t hostGetParameterQuantization();
    // Tells the host whether a parameter can be automated; every parameter can. [any thread]
    virtual bool canBeAutomated(int32_t index);
    // Sets a parameter from the host's text; true when the text was understood. [main thread]
    virtual bool string2Parameter(int32_t index, char* text);
    // Reserved float query; nothing calls it. [main thread]
    virtual float reservedFloatQuery(int32_t first, int32_t second);
    // Tells the host how many program categories there are. [main thread]
    virtual int32_t getNumProgramCategories();
    // Writes the name of any program; true when it wrote one. [main thread]
    virtual bool getProgramNameIndexed(int32_t category, int32_t index, char* text);
    // Copies the current program to another slot; true when it did. [main thread]
    virtual bool copyProgram(int32_t destination);
    // Tells the host the pin count or delay changed; true when the host accepted it. [any thread]
    virtual bool hostIOChanged();
    // Asks the host for idle calls; true when it agreed. [any thread]
    virtual bool hostNeedIdle();
    // Asks the host to resize the editor's parent window; true when it did. [UI thread]
    virtual bool hostSizeWindow(int32_t width, int32_t height);
    // Asks the host for its sample rate and answers the rate stored afterwards. [any thread]
    virtual float hostGetSampleRate();
    // Asks the host for its block size and answers the block size stored afterwards. [any thread]
    virtual int32_t hostGetBlockSize();
    // Asks the host for its input latency in samples. [any thread]
    virtual int32_t hostGetInputLatency();
    // Asks the host for its output latency in samples. [any thread]
    virtual int32_t hostGetOutputLatency();
    // Asks the host for the effect connected before this one; null when there is none. [any thread]
    virtual AEffect* hostGetPreviousPlug(int32_t pin);
    // Asks the host for the effect connected after this one; null when there is none. [any thread]
    virtual AEffect* hostGetNextPlug(int32_t pin);
    // Learns that the host connected or disconnected an input pin. [main thread]
    virtual void connectInput(int32_t index, bool connected);
    // Learns that the host connected or disconnected an output pin. [main thread]
    virtual void connectOutput(int32_t index, bool connected);
    // Describes an input pin to the host; true when it filled the record. [main thread]
    virtual bool getInputProperties(int32_t index, VstPinProperties* properties);
    // Describes an output pin to the host; true when it filled the record. [main thread]
    virtual bool getOutputProperties(int32_t index, VstPinProperties* properties);
    // Tells the host the effect's category: 2 (synth) when the synth flag is set, else 0. [main thread]
    virtual int32_t getPlugCategory();
    // Asks the host whether it will call process or processReplacing. [any thread]
    virtual int32_t hostWillReplaceOrAccumulate();
    // Asks the host on which kind of thread it is calling. [any thread]
    virtual int32_t hostGetCurrentProcessLevel();
    // Asks the host whether it reads or writes automation. [any thread]
    virtual int32_t hostGetAutomationState();
    // Sets or clears the record's asynchronous-processing flag. [during construction]
    virtual void setIsAsync(bool on);
    // Sets or clears the record's external-buffer flag. [during construction]
    virtual void setHasBuffer(bool on);
    // Tells the host how far asynchronous processing has got; 0. [audio thread]
    virtual int32_t getCurrentPosition();
    // Hands the host the buffer asynchronous processing writes to; null. [audio thread]
    virtual float* getDestinationBuffer();
    // Asks the host to read offline data for a task; true when it did. [any thread]
    virtual bool hostOfflineRead(void* task, int32_t option, bool readSource);
    // Asks the host to write offline data for a task; true when it did. [any thread]
    virtual bool hostOfflineWrite(void* task, int32_t option);
    // Asks the host to start offline processing of audio files; true when it did. [any thread]
    virtual bool hostOfflineStart(void* audioFiles, int32_t fileCount, int32_t newFileCount);
    // Asks the host whether an offline pass is running; 1 or 0. [any thread]
    virtual int32_t hostOfflineGetCurrentPass();
    // Asks the host whether an offline meta pass is running; 1 or 0. [any thread]
    virtual int32_t hostOfflineGetCurrentMetaPass();
    // Learns which audio files the host offers offline; true when it took them. [main thread]
    virtual bool offlineNotify(void* audioFiles, int32_t count, bool start);
    // Prepares offline tasks; true when it did. [main thread]
    virtual bool offlinePrepare(void* tasks, int32_t count);
    // Runs offline tasks; true when it did. [main thread]
    virtual bool offlineRun(void* tasks, int32_t count);
    // Reserved offline operation; nothing calls it. [main thread]
    virtual int32_t offlineSpareA();
    // Reserved offline operation; nothing calls it. [main thread]
    virtual int32_t offlineSpareB();
    // Tells the host the sample rate of the effect's output. [any thread]
    virtual int32_t hostSetOutputSampleRate(float rate);
    // Asks the host for its speaker arrangements; true when it filled them. [any thread]
    virtual bool hostGetSpeakerArrangement(void* input, void* output);
    // Asks the host for its vendor name; true when it wrote one. [any thread]
    virtual bool hostGetVendorString(char* text);
    // Asks the host for its product name; true when it wrote one. [any thread]
    virtual bool hostGetProductString(char* text);
    // Asks the host for its vendor version. [any thread]
    virtual int32_t hostGetVendorVersion();
    // Passes a vendor's own call to the host; pointer-wide so vendor pointers survive. [any thread]
    virtual intptr_t hostVendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);
    // Asks the host about a capability word; 1 when it can, 0 when it cannot. [any thread]
    virtual int32_t hostCanDo(char* word);
    // Sets or clears the record's synth flag. [during construction]
    virtual void setIsSynth(bool on);
    // Sets or clears the record's no-sound-in-stop flag. [during construction]
    virtual void setNoSoundInStop(bool on);
    // Asks the host for its user-interface language. [any thread]
    virtual int32_t hostGetLanguage();
    // Asks the host to open a window; answers the host's window or null. [UI thread]
    virtual void* hostOpenWindow(void* window);
    // Asks the host to close a window; true when it did. [UI thread]
    virtual bool hostCloseWindow(void* window);
    // Asks the host for the effect's directory; null when it does not say. [any thread]
    virtual void* hostGetDirectory();
    // Asks the host to redraw what it shows of the effect; true when it will. [any thread]
    virtual bool hostUpdateDisplay();
    // Processes with a variable block; true when it did. [audio thread]
    virtual bool processVarIo(void* varIo);
    // Takes the host's speaker arrangements; true when the effect accepts them. [main thread]
    virtual bool setSpeakerArrangement(void* input, void* output);
    // Stores the host's block size and sample rate together. [main thread]
    virtual void setBlockSizeAndSampleRate(int32_t newBlockSize, float newSampleRate);
    // Switches the effect's own bypass; true when it has one. [main thread]
    virtual bool setBypass(bool on);
    // Writes the effect's name; true when it wrote one. [main thread]
    virtual bool getEffectName(char* name);
    // Writes the text of the last error; true when it wrote one. [main thread]
    virtual bool getErrorText(char* text);
    // Writes the vendor's name; true when it wrote one. [main thread]
    virtual bool getVendorString(char* text);
    // Writes the product's name; true when it wrote one. [main thread]
    virtual bool getProductString(char* text);
    // Tells the host the vendor's version of the effect. [main thread]
    virtual int32_t getVendorVersion();
    // Answers a vendor's own call from the host; pointer-wide so vendor pointers survive. [main thread]
    virtual intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt);
    // Tells the host whether the effect can do a capability word: 1 yes, -1 no, 0 don't know. [main thread]
    virtual int32_t canDo(char* word);
    // Hands the host an icon; null. [UI thread]
    virtual void* getIcon();
    // Moves the editor within the host's window; true when it did. [UI thread]
    virtual bool setViewPosition(int32_t x, int32_t y);
    // Tells the host how many samples the effect sounds on after its input stops. [main thread]
    virtual int32_t getTailSize();
    // Runs idle work the host asked for. [main thread]
    virtual int32_t effectIdle();
    // Describes a parameter to the host; true when it filled the record. [main thread]
    virtual bool getParameterProperties(int32_t index, void* properties);
    // Tells the host whether the editor needs key presses. [UI thread]
    virtual bool keysRequired();
    // Tells the host which interface version the effect follows: 2. [main thread]
    virtual int32_t getVstVersion();

    // Sends events to the host; true only when the host answers exactly 1.
    bool hostProcessEvents(void* events);
};

} // namespace vela
