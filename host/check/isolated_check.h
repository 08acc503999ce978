// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

namespace vela {

// What one check found.
struct CheckOutcome {
    bool passed = false;
    std::string detail;
    // A pass with a reservation: reported, but it does not fail the run.
    bool warning = false;
    // The last step the check noted before it failed; empty when it passed.
    std::string step;
    // Nothing was tested (the module has nothing of the kind, or this build cannot look):
    // neither a pass nor a failure, and the detail says why.
    bool skipped = false;
};

// Runs checks of an effect so that the effect crashing or hanging fails the check instead of
// ending the tool, each with a time limit: on POSIX each check runs in a child process of its
// own; on Windows on a thread of its own, which a crash nobody handles or the time limit ends,
// the effects it made left behind unclosed (a crash on a thread the effect started still ends
// the run there).
class IsolatedCheck {
public:
    // Called by a check before each risky step; a crash report names the last step noted.
    using Note = std::function<void(const std::string& step)>;
    using Body = std::function<CheckOutcome(const Note& note)>;

    explicit IsolatedCheck(int timeoutSeconds);

    int timeout() const { return timeoutSeconds; }

    // Runs body; its exceptions fail the check with their message.
    CheckOutcome run(const Body& body) const;

private:
    int timeoutSeconds;
};

} // namespace vela
