// SPDX-License-Identifier: MIT
#pragma once

#include <X11/Xlib.h>

namespace vela {

// Catches the X errors of one connection while it lives, so that a request naming a window
// the host has already destroyed, or a bad parent id, cannot end the host through Xlib's
// default handler. Errors of other connections still reach the handler installed before,
// which comes back when the trap ends. Traps nest.
class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display);
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;
    ~X11ErrorTrap();

    // Whether a request made on the connection since the trap was set has failed, as far as
    // the replies and errors read so far tell (XSync first to know for sure).
    bool caught() const { return failed; }

private:
    static int handleError(Display* display, XErrorEvent* error);

    Display* display;
    unsigned long firstRequest;
    bool failed = false;
    XErrorHandler previousHandler;
    X11ErrorTrap* enclosing;
};

} // namespace vela
