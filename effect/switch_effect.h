// SPDX-License-Identifier: MIT
#pragma once

// The switch changes in four ways, and each ends in the same store, paramValue[kSwitch]:
//
// - The host sets it (setParameter, from any thread): stores normalised × 127 and keeps the
//   normalised value in the current program. The host already knows, so nothing is reported.
// - A click in the editor (UI thread): the editor reads switchValue() and calls
//   storeSwitchValue(value, true) with 0 when its integer part is non-zero, else 1; that stores
//   it and goes through reportParameterChange to setParameterAutomated: stored again through
//   setParameter, kept in the program and reported to the host with audioMasterAutomate.
// - A program change (setProgram, from the host's thread): re-applies the program's value through
//   setParameter and reports it like a click.
// - Construction: the defaults go through setParameter, program 0 is selected (the one report
//   made while constructing), and the editor's reset stores 0 without a report.
//
// The audio thread reads the value once at the start of each block, so a change is heard from the
// next block on.

#include <atomic>
#include <cstdint>

#include "effect/identity.h"
#include "effect/program_record.h"
#include "effect/switch_control.h"
#include "frame/effect_extended.h"
#include "frame/vst_pin_properties.h"

namespace vela {

// The editor and the host's threads write the switch while the audio thread reads it; these
// make the atomics exactly as cheap and as laid out as the plain values they replace.
static_assert(std::atomic<float>::is_always_lock_free);
static_assert(sizeof(std::atomic<float>) == sizeof(float));
static_assert(alignof(std::atomic<float>) == alignof(float));
static_assert(std::atomic<int32_t>::is_always_lock_free);

// Truncates toward zero as the processor's own conversion does, without its undefined cases:
// NaN and values beyond the 32-bit range give the lowest integer, -2^31. What that means depends
// on the reader: the sample loop looks at the low 8 bits, which are zero, and mixes nothing; the
// display and the editor look at the whole integer, which is not zero, and show the switch on.
int32_t truncateToInteger(float value);

// The two-in, two-out downmix switch: while its one parameter is on both outputs carry the
// mean of the two inputs, while it is off each input passes to its own output untouched.
class SwitchEffect : public EffectExtended, public SwitchControl {
public:
    static constexpr int32_t kProgramCount = 1;
    static constexpr int32_t kParameterSlots = 20;
    static constexpr std::size_t kParameterNameSize = 24;
    // Modes of reportParameterChange.
    static constexpr int32_t kReportRawValue = 2;
    static constexpr int32_t kReportCurrentValue = 3;
    static constexpr int32_t kReportNothing = 5;

    explicit SwitchEffect(audioMasterCallback hostCallback);

    // Stores a normalised value as internal value (× scale) and in the current program. [any thread]
    void setParameter(int32_t index, float value) override;
    // Answers the normalised value: internal value ÷ scale. [any thread]
    float getParameter(int32_t index) override;
    // Adds the block's sound to the outputs. [audio thread]
    void process(float** inputs, float** outputs, int32_t sampleFrames) override;
    // Writes the block's sound over the outputs. [audio thread]
    void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override;
    // Makes a program current, re-applies its values and reports each to the host. [main thread]
    void setProgram(int32_t program) override;
    // Renames the current program, keeping at most 23 characters. [main thread]
    void setProgramName(char* name) override;
    // Writes the current program's name. [main thread]
    void getProgramName(char* name) override;
    // Writes the switch's unit label: 12 blanks. [main thread]
    void getParameterLabel(int32_t index, char* label) override;
    // Writes "ON" or "OFF" for the switch. [main thread]
    void getParameterDisplay(int32_t index, char* text) override;
    // Writes the switch's name. [main thread]
    void getParameterName(int32_t index, char* text) override;
    // Stops processing: later blocks leave the outputs alone. [main thread]
    void suspend() override;
    // Starts processing. [main thread]
    void resume() override;

    // Labels output pins 0 and 1 "VELA 1" and "VELA 2", active and stereo. [main thread]
    bool getOutputProperties(int32_t index, VstPinProperties* properties) override;
    // Answers 0 for every word without asking the host. [any thread]
    int32_t hostCanDo(char* word) override;
    // Writes the effect's name, "Vela". [main thread]
    bool getEffectName(char* name) override;
    // Writes the vendor's name and version, "Ozmir v1.0". [main thread]
    bool getVendorString(char* text) override;
    // Writes the product's name, "Vela". [main thread]
    bool getProductString(char* text) override;
    // Answers 1 for "plugAsChannelInsert" and "plugAsSend", -1 for every other word. [main thread]
    int32_t canDo(char* word) override;
    // Sends events to the host; true only when the host answers exactly 1. [audio thread]
    virtual bool hostProcessEvents(void* events);

    // Tells the host that a parameter changed. kReportRawValue first takes raw as the new
    // internal value; kReportNothing does nothing; every other mode, kReportCurrentValue
    // included, re-applies the internal value through setParameterAutomated, which stores it
    // in the current program and reports it to the host.
    void reportParameterChange(int32_t index, float raw, int32_t mode);

    // The switch's internal value. [any thread]
    float switchValue() const override;
    // Stores an internal value, reporting it as reportParameterChange does when asked to. [UI thread]
    void storeSwitchValue(float internalValue, bool reportToHost) override;

protected:
    // Sets the parameters' names, scales and values and names the first program.
    void initDefaults();
    // Whether the sample loop mixes: only the low 8 bits of the truncated value count, so an
    // internal 256.0 mixes nothing.
    bool mixesToMono() const;
    // Runs one block through the sample kernels when processing is on.
    void runBlock(float** inputs, float** outputs, int32_t sampleFrames, bool accumulate);

    ProgramRecord programs[kProgramCount];
    // Internal value of each parameter (normalised × scale), shared by the audio thread, the
    // host's parameter calls and the editor: relaxed accesses.
    std::atomic<float> paramValue[kParameterSlots];
    float paramScale[kParameterSlots] = {};
    char paramName[kParameterSlots][kParameterNameSize] = {};
    // 1 between resume and suspend; read at the start of every block.
    std::atomic<int32_t> running;
};

} // namespace vela
