// SPDX-License-Identifier: MIT
#include "host/cli/parameter_assignment.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "host/cli/command_line.h"

namespace vela {

namespace {

UsageError badAssignment(const std::string& text, const std::string& reason)
{
    return UsageError("bad --param \"" + text + "\": " + reason);
}

} // namespace

ParameterAssignment::ParameterAssignment(std::string text, int32_t index, float value)
    : givenText(std::move(text)),
      parameterIndex(index),
      normalisedValue(value)
{
}

ParameterAssignment ParameterAssignment::parse(const std::string& text)
{
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
        throw badAssignment(text, "expected INDEX=VALUE, e.g. 0=1");
    }
    int32_t index = 0;
    const char* indexEnd = text.data() + equals;
    const auto [indexStop, indexError] = std::from_chars(text.data(), indexEnd, index);
    if (indexError != std::errc() || indexStop != indexEnd || index < 0) {
        throw badAssignment(text, "the index \"" + text.substr(0, equals) + "\" is not a parameter number");
    }
    // strtod rather than from_chars: it takes the same forms as every other tool ("1e-3").
    const std::string valueText = text.substr(equals + 1);
    char* valueStop = nullptr;
    const double value = std::strtod(valueText.c_str(), &valueStop);
    if (valueStop != valueText.c_str() + valueText.size() || !std::isfinite(value)) {
        throw badAssignment(text, "the value \"" + valueText + "\" is not a number");
    }
    if (value < 0.0 || value > 1.0) {
        throw badAssignment(text, "parameter values are normalised: from 0 to 1");
    }
    return ParameterAssignment(text, index, static_cast<float>(value));
}

std::vector<ParameterAssignment> ParameterAssignment::parseAll(const std::vector<std::string>& texts)
{
    std::vector<ParameterAssignment> assignments;
    for (const std::string& text : texts) {
        assignments.push_back(parse(text));
    }
    return assignments;
}

void ParameterAssignment::applyTo(HostedEffect& effect) const
{
    const int32_t count = effect.record()->numParams;
    if (parameterIndex >= count) {
        throw badAssignment(givenText, "the effect has " + std::to_string(count) + " parameter" +
                                           (count == 1 ? "" : "s") +
                                           (count > 0 ? ", 0 to " + std::to_string(count - 1) : ""));
    }
    effect.setParameter(parameterIndex, normalisedValue);
}

} // namespace vela
