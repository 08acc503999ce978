// SPDX-License-Identifier: MIT
// The guard on Windows: a module reaches the system's functions through its import table, one
// address per imported function. While a Watch lives, the entries of the watched functions
// point at this program's forwarders, which count the call when the calling thread is armed
// and go on to the function the entry held. Each forwarder follows its function's calling
// convention, which 32-bit Windows has two of.

#include "host/check/realtime_guard.h"

#include <windows.h>

#include <io.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/check/realtime_calls.h"

namespace vela {

namespace {

struct WatchedFunction {
    const char* name;
    WatchedKind kind;
    void* forwarder;
    // What the module's entry held; the first module's, should two be watched.
    void* original;
};

extern WatchedFunction watched[];

// One forwarder per watched function, told apart by its place in the table, with the
// function's own type: its arguments, its result and its calling convention.
template <int Index, typename Function>
struct Forwarder;

template <int Index, typename Function, typename... Arguments>
auto forward(Arguments... arguments)
{
    noteWatchedCall(watched[Index].kind, watched[Index].name);
    return reinterpret_cast<Function>(watched[Index].original)(arguments...);
}

// The C runtime's functions, and on x64 every function: the caller clears the arguments.
template <int Index, typename Result, typename... Arguments>
struct Forwarder<Index, Result (*)(Arguments...)> {
    static Result call(Arguments... arguments) { return forward<Index, Result (*)(Arguments...)>(arguments...); }
};

#ifndef _WIN64
// The 32-bit Windows API's functions clear their own arguments off the stack.
template <int Index, typename Result, typename... Arguments>
struct Forwarder<Index, Result(__stdcall*)(Arguments...)> {
    static Result __stdcall call(Arguments... arguments)
    {
        return forward<Index, Result(__stdcall*)(Arguments...)>(arguments...);
    }
};
#endif

#define VELA_WATCHED(index, kind, function)                                                                            \
    WatchedFunction                                                                                                    \
    {                                                                                                                  \
#function, WatchedKind::kind, reinterpret_cast < void*>(&Forwarder <index, decltype(&::function)>::call),      \
            nullptr                                                                                                    \
    }

// The C runtime's allocation and output, the heap, locks and waits, files and the console. The
// declarations' attributes (no exceptions, fresh memory) say nothing the forwarders need.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
WatchedFunction watched[] = {
    VELA_WATCHED(0, allocation, malloc),
    VELA_WATCHED(1, allocation, calloc),
    VELA_WATCHED(2, allocation, realloc),
    VELA_WATCHED(3, allocation, free),
    VELA_WATCHED(4, allocation, _aligned_malloc),
    VELA_WATCHED(5, allocation, _aligned_free),
    VELA_WATCHED(6, allocation, HeapAlloc),
    VELA_WATCHED(7, allocation, HeapReAlloc),
    VELA_WATCHED(8, allocation, HeapFree),
    VELA_WATCHED(9, allocation, VirtualAlloc),
    VELA_WATCHED(10, allocation, VirtualFree),
    VELA_WATCHED(11, allocation, LocalAlloc),
    VELA_WATCHED(12, allocation, GlobalAlloc),
    VELA_WATCHED(13, lock, EnterCriticalSection),
    VELA_WATCHED(14, lock, AcquireSRWLockExclusive),
    VELA_WATCHED(15, lock, AcquireSRWLockShared),
    VELA_WATCHED(16, lock, WaitForSingleObject),
    VELA_WATCHED(17, lock, WaitForSingleObjectEx),
    VELA_WATCHED(18, lock, WaitForMultipleObjects),
    VELA_WATCHED(19, lock, SleepConditionVariableCS),
    VELA_WATCHED(20, lock, SleepConditionVariableSRW),
    VELA_WATCHED(21, systemCall, Sleep),
    VELA_WATCHED(22, systemCall, SleepEx),
    VELA_WATCHED(23, systemCall, SwitchToThread),
    VELA_WATCHED(24, systemCall, CreateFileA),
    VELA_WATCHED(25, systemCall, CreateFileW),
    VELA_WATCHED(26, systemCall, ReadFile),
    VELA_WATCHED(27, systemCall, WriteFile),
    VELA_WATCHED(28, systemCall, WriteConsoleA),
    VELA_WATCHED(29, systemCall, WriteConsoleW),
    VELA_WATCHED(30, systemCall, OutputDebugStringA),
    VELA_WATCHED(31, systemCall, OutputDebugStringW),
    VELA_WATCHED(32, systemCall, fopen),
    VELA_WATCHED(33, systemCall, fwrite),
    VELA_WATCHED(34, systemCall, fputs),
    VELA_WATCHED(35, systemCall, puts),
    VELA_WATCHED(36, systemCall, vfprintf),
    VELA_WATCHED(37, systemCall, _write),
    VELA_WATCHED(38, systemCall, _read),
};
#pragma GCC diagnostic pop

#undef VELA_WATCHED

WatchedFunction* findWatched(const char* name)
{
    for (WatchedFunction& function : watched) {
        if (std::strcmp(function.name, name) == 0) {
            return &function;
        }
    }
    return nullptr;
}

template <typename T>
T* at(HMODULE module, DWORD offset)
{
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

// Calls change for each import table entry of a watched function. The headers and entries are
// read at this program's width: a module it loaded is PE32+ in a 64-bit build, PE32 in a 32-bit.
template <typename Change>
void forEachWatchedEntry(HMODULE module, const Change& change)
{
    static_assert(sizeof(IMAGE_THUNK_DATA) == sizeof(void*), "an import table entry holds one address");
    const auto* dos = at<IMAGE_DOS_HEADER>(module, 0);
    const auto* headers = at<IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return;
    }
    for (auto* library = at<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress); library->Name != 0; ++library) {
        // The names sit beside the addresses; without them only ordinals remain, which name nothing.
        if (library->OriginalFirstThunk == 0) {
            continue;
        }
        auto* name = at<IMAGE_THUNK_DATA>(module, library->OriginalFirstThunk);
        auto* entry = at<IMAGE_THUNK_DATA>(module, library->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++entry) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) {
                continue;
            }
            const auto* byName = at<IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(name->u1.AddressOfData));
            if (WatchedFunction* function = findWatched(reinterpret_cast<const char*>(byName->Name))) {
                change(*function, reinterpret_cast<void**>(&entry->u1.Function));
            }
        }
    }
}

void writeEntry(void** entry, void* address)
{
    DWORD previous = 0;
    if (VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &previous)) {
        *entry = address;
        VirtualProtect(entry, sizeof *entry, previous, &previous);
    }
}

} // namespace

RealtimeGuard::Watch::Watch(const void* code)
{
    HMODULE found = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const char*>(code), &found)) {
        return;
    }
    module = found;
    forEachWatchedEntry(found, [](WatchedFunction& function, void** entry) {
        // A name imported from two libraries keeps the first; the second stays unwatched.
        if (!function.original) {
            function.original = *entry;
        }
        if (*entry == function.original) {
            writeEntry(entry, function.forwarder);
        }
    });
}

RealtimeGuard::Watch::~Watch()
{
    if (!module) {
        return;
    }
    forEachWatchedEntry(static_cast<HMODULE>(module), [](WatchedFunction& function, void** entry) {
        if (*entry == function.forwarder) {
            writeEntry(entry, function.original);
        }
    });
    for (WatchedFunction& function : watched) {
        function.original = nullptr;
    }
}

bool RealtimeGuard::watchesLocksAndSystemCalls()
{
    return true;
}

void RealtimeGuard::prepare() {}

} // namespace vela
