// SPDX-License-Identifier: MIT
// A framework header that reaches up into the product: the layer check must reject it.
#pragma once

#include "effect/switch_effect.h"
