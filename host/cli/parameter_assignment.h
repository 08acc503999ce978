// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/hosted_effect.h"

namespace vela {

// One --param INDEX=VALUE: a normalised value for one of the effect's parameters.
class ParameterAssignment {
public:
    // Reads "INDEX=VALUE"; throws UsageError naming the text when it is not of that form or
    // the value is not a number from 0 to 1.
    static ParameterAssignment parse(const std::string& text);
    // Reads every --param of a command line.
    static std::vector<ParameterAssignment> parseAll(const std::vector<std::string>& texts);

    // Sets the parameter through the record; throws UsageError when the effect has no
    // parameter with this index.
    void applyTo(HostedEffect& effect) const;

    int32_t index() const { return parameterIndex; }
    float value() const { return normalisedValue; }

private:
    ParameterAssignment(std::string text, int32_t index, float value);

    std::string givenText;
    int32_t parameterIndex;
    float normalisedValue;
};

} // namespace vela
