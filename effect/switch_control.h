// SPDX-License-Identifier: MIT
#pragma once

namespace vela {

// What an editor may do with the switch: read it, and store a new state.
class SwitchControl {
public:
    virtual ~SwitchControl() = default;

    // Answers the switch's internal value (normalised × 127); from any thread. [any thread]
    virtual float switchValue() const = 0;
    // Stores a new internal value; with reportToHost the host also hears of it as an automated
    // parameter change. Called from the. [UI thread]
    virtual void storeSwitchValue(float internalValue, bool reportToHost) = 0;
};

} // namespace vela
