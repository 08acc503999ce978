// SPDX-License-Identifier: MIT
#include "frame/trampolines.h"

#include "frame/effect_core.h"
#include "frame/opcodes.h"

namespace vela {

namespace {

EffectCore* objectOf(AEffect* effect)
{
    return static_cast<EffectCore*>(effect->object);
}

} // namespace

intptr_t dispatcherTrampoline(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt)
{
    EffectCore* object = objectOf(effect);
    if (opcode == effClose) {
        // The effect is closed and gone; its record is invalid from here on.
        object->dispatcher(opcode, index, value, ptr, opt);
        delete object;
        return 1;
    }
    return object->dispatcher(opcode, index, value, ptr, opt);
}

void processTrampoline(AEffect* effect, float** inputs, float** outputs, int32_t sampleFrames)
{
    objectOf(effect)->process(inputs, outputs, sampleFrames);
}

void processReplacingTrampoline(AEffect* effect, float** inputs, float** outputs, int32_t sampleFrames)
{
    objectOf(effect)->processReplacing(inputs, outputs, sampleFrames);
}

void setParameterTrampoline(AEffect* effect, int32_t index, float value)
{
    objectOf(effect)->setParameter(index, value);
}

float getParameterTrampoline(AEffect* effect, int32_t index)
{
    return objectOf(effect)->getParameter(index);
}

} // namespace vela
