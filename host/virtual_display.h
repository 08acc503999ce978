// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace vela {

// A display for editor windows. On X11 it keeps the display DISPLAY names when that one
// answers, and otherwise starts a private Xvfb, which picks a display number it can bind,
// points DISPLAY at it and stops it again when destroyed; the server also ends by itself
// when this program ends, however it ends. On Windows the desktop is always there and nothing happens.
//
// Create it before any effect whose editor may be opened, so that it outlives them.
class VirtualDisplay {
public:
    // Throws std::runtime_error when there is no display and Xvfb cannot be started.
    VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;
    ~VirtualDisplay();

    // True when this object started the server.
    bool isPrivate() const { return serverProcess > 0; }
    // The display's name as DISPLAY gives it, or "" on Windows.
    const std::string& name() const { return displayName; }

private:
    std::string displayName;
    int serverProcess = 0;
    // An open connection to the display: while it stays open the server neither resets nor,
    // when private, ends.
    void* keeper = nullptr;
};

} // namespace vela
