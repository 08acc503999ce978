// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>

#include "effect/program_record.h"
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
// NaN and values beyond the 32-bit range give the lowest integer, which counts as on.
int32_t truncateToInteger(float value);

// The two-in, two-out downmix switch: while its one parameter is on both outputs carry the
// mean of the two inputs, while it is off each input passes to its own output untouched.
class SwitchEffect : public EffectExtended {
public:
    static constexpr int32_t kProgramCount = 1;
    static constexpr int32_t kParameterCount = 1;
    static constexpr int32_t kParameterSlots = 20;
    static constexpr std::size_t kParameterNameSize = 24;
    // Modes of reportParameterChange.
    static constexpr int32_t kReportRawValue = 2;
    static constexpr int32_t kReportCurrentValue = 3;
    static constexpr int32_t kReportNothing = 5;

    explicit SwitchEffect(audioMasterCallback hostCallback);

    // Stores a normalised value as internal value (× scale) and in the current program.
    void setParameter(int32_t index, float value) override;
    // Answers the normalised value: internal value ÷ scale.
    float getParameter(int32_t index) override;
    // Adds the mixed inputs to the outputs.
    void process(float** inputs, float** outputs, int32_t sampleFrames) override;
    // Writes the mixed inputs over the outputs.
    void processReplacing(float** inputs, float** outputs, int32_t sampleFrames) override;
    // Makes a program current, re-applies its values and reports each to the host.
    void setProgram(int32_t program) override;
    // Renames the current program, keeping at most 23 characters.
    void setProgramName(char* name) override;
    // Writes the current program's name.
    void getProgramName(char* name) override;
    // Writes the switch's unit label: 12 blanks.
    void getParameterLabel(int32_t index, char* label) override;
    // Writes "ON" or "OFF" for the switch.
    void getParameterDisplay(int32_t index, char* text) override;
    // Writes the switch's name.
    void getParameterName(int32_t index, char* text) override;
    // Stops processing: later blocks leave the outputs alone.
    void suspend() override;
    // Starts processing.
    void resume() override;

    // Labels output pins 0 and 1 "VELA 1" and "VELA 2", active and stereo.
    bool getOutputProperties(int32_t index, VstPinProperties* properties) override;
    // Answers 0 for every word without asking the host.
    int32_t hostCanDo(char* word) override;
    // Writes the effect's name, "Vela".
    bool getEffectName(char* name) override;
    // Writes the vendor's name and version, "Ozmir v1.0".
    bool getVendorString(char* text) override;
    // Writes the product's name, "Vela".
    bool getProductString(char* text) override;
    // Answers 1 for "plugAsChannelInsert" and "plugAsSend", -1 for every other word.
    int32_t canDo(char* word) override;
    // Sends events to the host; true only when the host answers exactly 1.
    virtual bool hostProcessEvents(void* events);

    // Tells the host that a parameter changed. kReportRawValue first takes raw as the new
    // internal value; kReportNothing does nothing; every other mode, kReportCurrentValue
    // included, re-applies the internal value through setParameterAutomated, which stores it
    // in the current program and reports it to the host.
    void reportParameterChange(int32_t index, float raw, int32_t mode);

protected:
    ProgramRecord programs[kProgramCount];

public:
    // Internal value of each parameter (normalised × scale). Shared by the audio thread, the
    // host's parameter calls and the editor: access it with relaxed ordering.
    std::atomic<float> paramValue[kParameterSlots];

protected:
    // Sets the parameters' names, scales and values and names the first program.
    void initDefaults();
    // Mixes one block when running; adds to the outputs or replaces them.
    void runSampleLoop(float** inputs, float** outputs, int32_t sampleFrames, bool accumulate);

    float paramScale[kParameterSlots] = {};
    char paramName[kParameterSlots][kParameterNameSize] = {};
    // 1 between resume and suspend; read at the start of every block.
    std::atomic<int32_t> running;
};

} // namespace vela
