// SPDX-License-Identifier: MIT
#include "host/cli/report.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace vela {

namespace {

std::string indentation(int depth)
{
    return std::string(static_cast<std::size_t>(depth) * 2, ' ');
}

std::string jsonString(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                quoted += escaped;
            } else {
                // Effects' texts are 8-bit without a declared encoding; passed through as
                // they are, which is right for the ASCII nearly all of them use.
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

// Texts with blanks at either end, nothing in them or a separator of the text form are shown
// quoted, so that "Vela button (On/Off)  " keeps its blanks visible.
std::string readableString(const std::string& text)
{
    const bool needsQuotes =
        text.empty() || text.front() == ' ' || text.back() == ' ' || text.find_first_of(",:\"\n") != std::string::npos;
    return needsQuotes ? jsonString(text) : text;
}

std::string numberText(double value, const char* format)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

Report Report::text(std::string value)
{
    Report report;
    report.content = std::move(value);
    return report;
}

Report Report::integer(int64_t value)
{
    Report report;
    report.content = value;
    return report;
}

Report Report::number(double value)
{
    Report report;
    report.content = value;
    return report;
}

Report Report::boolean(bool value)
{
    Report report;
    report.content = value;
    return report;
}

Report Report::list()
{
    Report report;
    report.content = List{};
    return report;
}

Report Report::object()
{
    Report report;
    report.content = Object{};
    return report;
}

Report& Report::add(const std::string& name, Report value)
{
    Object* members = std::get_if<Object>(&content);
    if (!members) {
        throw std::logic_error("Report::add on a value that is not an object");
    }
    members->emplace_back(name, std::move(value));
    return *this;
}

Report& Report::append(Report value)
{
    List* items = std::get_if<List>(&content);
    if (!items) {
        throw std::logic_error("Report::append on a value that is not a list");
    }
    items->push_back(std::move(value));
    return *this;
}

bool Report::isPlain() const
{
    return !std::holds_alternative<List>(content) && !std::holds_alternative<Object>(content);
}

std::string Report::plainText() const
{
    if (const auto* value = std::get_if<std::string>(&content)) {
        return readableString(*value);
    }
    if (const auto* value = std::get_if<int64_t>(&content)) {
        return std::to_string(*value);
    }
    if (const auto* value = std::get_if<double>(&content)) {
        return numberText(*value, "%.6g");
    }
    if (const auto* value = std::get_if<bool>(&content)) {
        return *value ? "yes" : "no";
    }
    // A list inside a one-line item, such as a pin's flag names: "active|stereo".
    if (const auto* items = std::get_if<List>(&content)) {
        std::string joined;
        for (const Report& item : *items) {
            joined += (joined.empty() ? "" : "|") + item.plainText();
        }
        return joined.empty() ? "none" : joined;
    }
    return "-";
}

std::string Report::toText() const
{
    std::string out;
    writeText(out, 0);
    return out;
}

void Report::writeText(std::string& out, int depth) const
{
    const Object* members = std::get_if<Object>(&content);
    if (!members) {
        out += indentation(depth) + plainText() + "\n";
        return;
    }
    for (const auto& [name, member] : *members) {
        out += indentation(depth) + name + ":";
        if (member.isPlain()) {
            out += " " + member.plainText() + "\n";
        } else if (const List* items = std::get_if<List>(&member.content)) {
            if (items->empty()) {
                out += " none\n";
                continue;
            }
            const bool allPlain = items->front().isPlain();
            std::string line;
            for (const Report& item : *items) {
                if (allPlain) {
                    line += (line.empty() ? " " : ", ") + item.plainText();
                    continue;
                }
                // An item's plain members on one line, after a dash.
                std::string fields;
                for (const auto& [field, value] : std::get<Object>(item.content)) {
                    fields += (fields.empty() ? "" : ", ") + field + ": " + value.plainText();
                }
                line += "\n" + indentation(depth + 1) + "- " + fields;
            }
            out += line + "\n";
        } else {
            out += "\n";
            member.writeText(out, depth + 1);
        }
    }
}

std::string Report::toJson() const
{
    std::string out;
    writeJson(out, 0);
    return out + "\n";
}

void Report::writeJson(std::string& out, int depth) const
{
    if (const auto* value = std::get_if<std::string>(&content)) {
        out += jsonString(*value);
    } else if (const auto* value = std::get_if<int64_t>(&content)) {
        out += std::to_string(*value);
    } else if (const auto* value = std::get_if<double>(&content)) {
        // JSON has no infinities or NaN.
        out += std::isfinite(*value) ? numberText(*value, "%.9g") : "null";
    } else if (const auto* value = std::get_if<bool>(&content)) {
        out += *value ? "true" : "false";
    } else if (const auto* items = std::get_if<List>(&content)) {
        out += "[";
        for (std::size_t i = 0; i < items->size(); ++i) {
            out += (i ? ",\n" : "\n") + indentation(depth + 1);
            (*items)[i].writeJson(out, depth + 1);
        }
        out += items->empty() ? "]" : "\n" + indentation(depth) + "]";
    } else if (const auto* members = std::get_if<Object>(&content)) {
        out += "{";
        for (std::size_t i = 0; i < members->size(); ++i) {
            out += (i ? ",\n" : "\n") + indentation(depth + 1) + jsonString((*members)[i].first) + ": ";
            (*members)[i].second.writeJson(out, depth + 1);
        }
        out += members->empty() ? "}" : "\n" + indentation(depth) + "}";
    } else {
        out += "null";
    }
}

} // namespace vela
