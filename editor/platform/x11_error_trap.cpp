// SPDX-License-Identifier: MIT
#include "editor/platform/x11_error_trap.h"

namespace vela {

namespace {

// Xlib has one error handler per process; the layer runs on the host's UI thread only.
X11ErrorTrap* innermostTrap = nullptr;

} // namespace

X11ErrorTrap::X11ErrorTrap(Display* display)
    : display(display),
      firstRequest(NextRequest(display)),
      previousHandler(XSetErrorHandler(&X11ErrorTrap::handleError)),
      enclosing(innermostTrap)
{
    innermostTrap = this;
}

X11ErrorTrap::~X11ErrorTrap()
{
    innermostTrap = enclosing;
    XSetErrorHandler(previousHandler);
}

int X11ErrorTrap::handleError(Display* display, XErrorEvent* error)
{
    X11ErrorTrap* outermost = nullptr;
    for (X11ErrorTrap* trap = innermostTrap; trap != nullptr; trap = trap->enclosing) {
        if (trap->display == display) {
            // Errors of requests older than the trap are swallowed too: they are ours,
            // and nobody else is left to hear of them.
            if (error->serial >= trap->firstRequest) {
                trap->failed = true;
            }
            return 0;
        }
        outermost = trap;
    }
    if (outermost != nullptr && outermost->previousHandler != nullptr) {
        return outermost->previousHandler(display, error);
    }
    return 0;
}

} // namespace vela
