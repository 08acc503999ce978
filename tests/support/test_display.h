// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace vela {

// Finds or starts the display every window test draws on, the way vela-host does: the one
// DISPLAY names when it answers, otherwise a private Xvfb of this test program's own, started
// at the first call and stopped when the program ends. Answers "" when there is a display,
// otherwise why there is none. On Windows the desktop is always there.
std::string findOrStartTestDisplay();

} // namespace vela
