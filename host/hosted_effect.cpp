// SPDX-License-Identifier: MIT
#include "host/hosted_effect.h"

#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace vela {

HostedEffect::HostedEffect(std::shared_ptr<PluginModule> module)
    : HostedEffect(std::move(module), std::make_shared<RecordingHost>())
{
}

HostedEffect::HostedEffect(std::shared_ptr<PluginModule> module, std::shared_ptr<RecordingHost> host)
    : pluginModule(std::move(module)),
      recordingHost(std::move(host)),
      effect(nullptr)
{
    if (!pluginModule || !recordingHost) {
        throw std::invalid_argument("HostedEffect needs a module and a host");
    }
    effect = recordingHost->callEntry(pluginModule->entry());
}

HostedEffect::HostedEffect(HostedEffect&& other) noexcept
    : pluginModule(std::move(other.pluginModule)),
      recordingHost(std::move(other.recordingHost)),
      effect(std::exchange(other.effect, nullptr))
{
}

HostedEffect& HostedEffect::operator=(HostedEffect&& other) noexcept
{
    if (this != &other) {
        close();
        pluginModule = std::move(other.pluginModule);
        recordingHost = std::move(other.recordingHost);
        effect = std::exchange(other.effect, nullptr);
    }
    return *this;
}

HostedEffect::~HostedEffect()
{
    close();
}

intptr_t HostedEffect::dispatch(EffectOpcode opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    if (opcode == effClose) {
        return close();
    }
    AEffect& open = openRecord();
    return open.dispatcher(&open, opcode, index, value, ptr, opt);
}

std::string HostedEffect::dispatchString(EffectOpcode opcode, int32_t index, intptr_t value, float opt,
                                         intptr_t* result)
{
    // On the heap, so that a sanitizer build reports an effect writing past the end.
    std::vector<char> buffer(kStringBufferSize, 0);
    const intptr_t answer = dispatch(opcode, index, value, buffer.data(), opt);
    if (result) {
        *result = answer;
    }
    const void* terminator = std::memchr(buffer.data(), 0, buffer.size());
    const std::size_t length = terminator ? static_cast<const char*>(terminator) - buffer.data() : buffer.size();
    return std::string(buffer.data(), length);
}

void HostedEffect::setParameter(int32_t index, float value)
{
    AEffect& open = openRecord();
    open.setParameter(&open, index, value);
}

float HostedEffect::getParameter(int32_t index)
{
    AEffect& open = openRecord();
    return open.getParameter(&open, index);
}

void HostedEffect::process(float** inputs, float** outputs, int32_t sampleFrames)
{
    AEffect& open = openRecord();
    if (!open.process) {
        throw std::logic_error("the effect's record has no process function");
    }
    open.process(&open, inputs, outputs, sampleFrames);
}

void HostedEffect::processReplacing(float** inputs, float** outputs, int32_t sampleFrames)
{
    AEffect& open = openRecord();
    if (!open.processReplacing) {
        throw std::logic_error("the effect's record has no processReplacing function");
    }
    open.processReplacing(&open, inputs, outputs, sampleFrames);
}

intptr_t HostedEffect::close()
{
    if (!effect) {
        return 0;
    }
    // The effect may still call the host while it closes; forget the record only afterwards.
    AEffect* const closing = std::exchange(effect, nullptr);
    const intptr_t answer = closing->dispatcher(closing, effClose, 0, 0, nullptr, 0.0f);
    recordingHost->forget(closing);
    return answer;
}

AEffect& HostedEffect::openRecord() const
{
    if (!effect) {
        throw std::logic_error("no open effect: the entry returned null or the effect is closed");
    }
    return *effect;
}

} // namespace vela
