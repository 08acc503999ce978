// SPDX-License-Identifier: MIT
#pragma once

// Who the product is, as hosts, users and the window system see it. The resource script reads
// this file too, and understands only the preprocessor, hence the one macro.

// The bitmap sheet the editor paints from, in the module's resources.
#define VELA_SHEET_RESOURCE 103

#ifndef RC_INVOKED

#include <cstdint>

#include "frame/aeffect.h"

namespace vela {

inline constexpr char kEffectName[] = "Vela";
inline constexpr char kProductName[] = "Vela";
inline constexpr char kVendorString[] = "Ozmir v1.0";

// The switch alone, and the switch with its editor: the one hosts load.
inline constexpr int32_t kSwitchEffectId = fourCharCode("VeLA");
inline constexpr int32_t kEditableEffectId = fourCharCode("VeLE");

// The effect's parameters, by index.
enum Parameter : int32_t {
    kSwitch,
    kParameterCount,
};

// Padded with blanks to 23 characters, as hosts have always shown it.
inline constexpr char kSwitchName[] = "Vela button (On/Off)  ";
inline constexpr char kDefaultProgramName[] = "Press me!              ";

// Output pins 0 and 1 show as "VELA 1" and "VELA 2": the prefix, then the pin's number + 1.
inline constexpr char kOutputPinLabelPrefix[] = "VELA ";

inline constexpr int16_t kEditorWidth = 256;
inline constexpr int16_t kEditorHeight = 96;
inline constexpr char kWindowClassName[] = "VEclass";
inline constexpr int32_t kSheetResourceId = VELA_SHEET_RESOURCE;

} // namespace vela

#endif
