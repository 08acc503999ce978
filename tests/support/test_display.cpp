// SPDX-License-Identifier: MIT
#include "tests/support/test_display.h"

#include <optional>
#include <stdexcept>

#include "host/virtual_display.h"

namespace vela {

namespace {

// Kept to the program's end, after every window of every test.
std::optional<VirtualDisplay>& keptDisplay()
{
    static std::optional<VirtualDisplay> display;
    return display;
}

} // namespace

std::string findOrStartTestDisplay()
{
    static const std::string problem = [] {
        try {
            keptDisplay().emplace();
            return std::string();
        } catch (const std::runtime_error& error) {
            return std::string(error.what());
        }
    }();
    return problem;
}

} // namespace vela
