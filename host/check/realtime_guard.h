// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace vela {

// Counts what code does on one thread while armed that has no place on an audio thread: heap
// allocation, locking and waiting, and calls into the system. It sees the calls a loaded
// module makes to the system's libraries: on glibc this program answers those C library
// functions itself and forwards them; on Windows the watched module's import table is
// pointed at this program's forwarders while a Watch lives. Calls inside the libraries
// themselves are not seen.
//
//     RealtimeGuard::prepare();
//     const RealtimeGuard::Watch watch(record.processReplacing);
//     RealtimeGuard::arm();
//     effect.processReplacing(...);
//     const RealtimeGuard::Counts seen = RealtimeGuard::disarm();
class RealtimeGuard {
public:
    struct Counts {
        uint64_t allocations = 0;
        uint64_t locks = 0;
        uint64_t systemCalls = 0;
        // The first function called of each kind; static texts, null when none was.
        const char* firstAllocation = nullptr;
        const char* firstLock = nullptr;
        const char* firstSystemCall = nullptr;
    };

    // Keeps the module that holds code under watch while it lives; the module must stay
    // loaded as long.
    class Watch {
    public:
        explicit Watch(const void* code);
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

    private:
        void* module = nullptr;
    };

    // Whether it counts locks and system calls as well as allocations (not under
    // ThreadSanitizer, which answers those functions itself).
    static bool watchesLocksAndSystemCalls();
    // Resolves the functions it forwards to; call before arming, from the arming thread.
    static void prepare();
    // Starts counting on the calling thread, from zero.
    static void arm();
    // Stops counting on the calling thread and answers what was counted.
    static Counts disarm();
    // Leaves what follows on the calling thread out of the count, until as many resume calls;
    // for the host's own work when the checked code calls it.
    static void pause();
    static void resume();
};

} // namespace vela
