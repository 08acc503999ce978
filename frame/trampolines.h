// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "frame/aeffect.h"

namespace vela {

// The C functions stored in every effect's record. Each finds the effect through the record's
// object field and calls the matching virtual operation.

intptr_t dispatcherTrampoline(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
void processTrampoline(AEffect* effect, float** inputs, float** outputs, int32_t sampleFrames);
void processReplacingTrampoline(AEffect* effect, float** inputs, float** outputs, int32_t sampleFrames);
void setParameterTrampoline(AEffect* effect, int32_t index, float value);
float getParameterTrampoline(AEffect* effect, int32_t index);

} // namespace vela
