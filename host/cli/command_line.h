// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace vela {

// A mistake in how the tool was called: the tool says what and exits with status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The words after a command's name, split into positional arguments and options. An option
// that takes a value reads it from "--name=value" or from the next word; "--" ends the options.
class CommandLine {
public:
    // Throws UsageError for an option the command does not know or one missing its value.
    CommandLine(const std::vector<std::string>& words, const std::set<std::string>& valueOptions,
                const std::set<std::string>& flagOptions);

    const std::vector<std::string>& positionals() const { return positionalWords; }
    // Throws UsageError unless there are exactly as many positionals as names.
    void expectPositionals(const std::vector<std::string>& names) const;

    bool has(const std::string& flag) const;
    // Every value given for the option, in order.
    std::vector<std::string> values(const std::string& option) const;
    // The last value given for the option, if any.
    std::optional<std::string> value(const std::string& option) const;
    // The option's value as a whole number from minimum to maximum, or fallback when absent.
    long integer(const std::string& option, long fallback, long minimum, long maximum) const;

private:
    std::vector<std::string> positionalWords;
    std::vector<std::pair<std::string, std::string>> givenOptions;
};

} // namespace vela
