// SPDX-License-Identifier: MIT
#pragma once

// The checks of vela-host check. Each drives fresh effects of the module and answers what it
// found; each runs in a process (on Windows a thread) of its own, so it may crash or hang.

#include "host/check/check_support.h"

namespace vela {

// module_checks.cpp
CheckOutcome checkLoads(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkExports(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkScanTime(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkRecord(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkOpcodeSweep(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkClose(const CheckSettings& settings, const IsolatedCheck::Note& note);

// audio_checks.cpp
CheckOutcome checkSilence(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkProcess(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkSuspend(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkLargeBlock(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkRealtime(const CheckSettings& settings, const IsolatedCheck::Note& note);

// state_checks.cpp
CheckOutcome checkParameters(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkThreads(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkPrograms(const CheckSettings& settings, const IsolatedCheck::Note& note);
CheckOutcome checkState(const CheckSettings& settings, const IsolatedCheck::Note& note);

// editor_checks.cpp
CheckOutcome checkEditor(const CheckSettings& settings, const IsolatedCheck::Note& note);

} // namespace vela
