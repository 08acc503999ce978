// SPDX-License-Identifier: MIT
#include "host/cli/command_line.h"

#include <charconv>

namespace vela {

CommandLine::CommandLine(const std::vector<std::string>& words, const std::set<std::string>& valueOptions,
                         const std::set<std::string>& flagOptions)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            positionalWords.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        if (flagOptions.contains(name)) {
            if (equals != std::string::npos) {
                throw UsageError(name + " takes no value");
            }
            givenOptions.emplace_back(name, "");
        } else if (valueOptions.contains(name)) {
            if (equals != std::string::npos) {
                givenOptions.emplace_back(name, word.substr(equals + 1));
            } else if (i + 1 < words.size()) {
                givenOptions.emplace_back(name, words[++i]);
            } else {
                throw UsageError(name + " needs a value");
            }
        } else {
            throw UsageError("unknown option " + name);
        }
    }
}

void CommandLine::expectPositionals(const std::vector<std::string>& names) const
{
    if (positionalWords.size() == names.size()) {
        return;
    }
    std::string expected;
    for (const std::string& name : names) {
        expected += (expected.empty() ? "" : " ") + name;
    }
    throw UsageError("expected " + expected + ", got " + std::to_string(positionalWords.size()) + " argument" +
                     (positionalWords.size() == 1 ? "" : "s"));
}

bool CommandLine::has(const std::string& flag) const
{
    for (const auto& [name, given] : givenOptions) {
        if (name == flag) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> CommandLine::values(const std::string& option) const
{
    std::vector<std::string> found;
    for (const auto& [name, given] : givenOptions) {
        if (name == option) {
            found.push_back(given);
        }
    }
    return found;
}

std::optional<std::string> CommandLine::value(const std::string& option) const
{
    const std::vector<std::string> found = values(option);
    if (found.empty()) {
        return std::nullopt;
    }
    return found.back();
}

long CommandLine::integer(const std::string& option, long fallback, long minimum, long maximum) const
{
    const std::optional<std::string> text = value(option);
    if (!text) {
        return fallback;
    }
    long number = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, number);
    if (error != std::errc() || stop != end || number < minimum || number > maximum) {
        throw UsageError(option + " expects a whole number from " + std::to_string(minimum) + " to " +
                         std::to_string(maximum) + ", not \"" + *text + "\"");
    }
    return number;
}

} // namespace vela
