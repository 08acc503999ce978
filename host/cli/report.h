// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace vela {

// An ordered tree of named values, gathered once and printed either as indented text for a
// reader or as JSON for a script, so the two never disagree.
class Report {
public:
    Report() = default;
    static Report text(std::string value);
    static Report integer(int64_t value);
    static Report number(double value);
    static Report boolean(bool value);
    static Report list();
    static Report object();

    // Adds a named member to an object; answers this object for chaining.
    Report& add(const std::string& name, Report value);
    // Adds an item to a list.
    Report& append(Report value);

    // Objects: "name: value" lines, nested objects indented; lists of plain values on one line,
    // lists of objects one item per line.
    std::string toText() const;
    std::string toJson() const;

private:
    using List = std::vector<Report>;
    using Object = std::vector<std::pair<std::string, Report>>;

    bool isPlain() const;
    std::string plainText() const;
    void writeText(std::string& out, int depth) const;
    void writeJson(std::string& out, int depth) const;

    std::variant<std::monostate, std::string, int64_t, double, bool, List, Object> content;
};

} // namespace vela
