// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "frame/aeffect.h"
#include "frame/opcodes.h"
#include "host/plugin_module.h"
#include "host/recording_host.h"

namespace vela {

// One effect instance created through a module's entry, driven through its record as a host
// drives it. Holds its module and its host, so neither goes away while the effect is open;
// the destructor closes the effect if it is still open.
//
//     auto module = PluginModule::load(path);
//     HostedEffect effect(module);
//     if (effect.record()) { effect.dispatch(effOpen); ... }
class HostedEffect {
public:
    // Size of the zeroed buffer dispatchString hands the effect: far more than any VST 2 text
    // needs, since effects may write past the length the standard gives.
    static constexpr std::size_t kStringBufferSize = 256;

    // Calls the module's entry with a new RecordingHost.
    explicit HostedEffect(std::shared_ptr<PluginModule> module);
    // Calls the module's entry with the given host; its answers at that moment apply to the
    // entry's own calls.
    HostedEffect(std::shared_ptr<PluginModule> module, std::shared_ptr<RecordingHost> host);

    HostedEffect(const HostedEffect&) = delete;
    HostedEffect& operator=(const HostedEffect&) = delete;
    HostedEffect(HostedEffect&& other) noexcept;
    HostedEffect& operator=(HostedEffect&& other) noexcept;

    // Closes the effect if it is still open.
    ~HostedEffect();

    // The record the entry returned; null when it returned null or after close.
    AEffect* record() const { return effect; }
    RecordingHost& host() const { return *recordingHost; }
    PluginModule& module() const { return *pluginModule; }

    // Sends one operation through the record's dispatcher and answers its result. effClose is
    // sent through close, so the record is forgotten with the effect.
    intptr_t dispatch(EffectOpcode opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0.0f);
    // Sends an operation that writes a text into ptr, with a zeroed buffer of
    // kStringBufferSize bytes, and answers the text up to its terminator (or the buffer's
    // end). The dispatcher's result goes to *result when it is given.
    std::string dispatchString(EffectOpcode opcode, int32_t index = 0, intptr_t value = 0, float opt = 0.0f,
                               intptr_t* result = nullptr);

    void setParameter(int32_t index, float value);
    float getParameter(int32_t index);
    // Through the record's process field (adding to the outputs).
    void process(float** inputs, float** outputs, int32_t sampleFrames);
    // Through the record's processReplacing field; throws std::logic_error when it is null.
    void processReplacing(float** inputs, float** outputs, int32_t sampleFrames);

    // Sends effClose and forgets the record; answers the dispatcher's result. Does nothing and
    // answers 0 when the effect is not open.
    intptr_t close();

private:
    // The open record; throws std::logic_error when there is none.
    AEffect& openRecord() const;

    std::shared_ptr<PluginModule> pluginModule;
    std::shared_ptr<RecordingHost> recordingHost;
    AEffect* effect;
};

} // namespace vela
