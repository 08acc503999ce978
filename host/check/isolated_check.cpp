// SPDX-License-Identifier: MIT
#include "host/check/isolated_check.h"

#include <cstdio>
#include <exception>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vela {

namespace {

CheckOutcome runGuarded(const IsolatedCheck::Body& body, const IsolatedCheck::Note& note)
{
    try {
        return body(note);
    } catch (const std::exception& error) {
        return {false, error.what(), false, ""};
    }
}

} // namespace

IsolatedCheck::IsolatedCheck(int timeoutSeconds) : timeoutSeconds(timeoutSeconds) {}

#ifdef _WIN32

namespace {

// The thread running a check, and what ended it when it crashed. One check runs at a time.
DWORD checkThreadId = 0;
LPTOP_LEVEL_EXCEPTION_FILTER formerFilter = nullptr;
EXCEPTION_RECORD crash{};

// Called only for exceptions no handler took, so the module's own handlers and C++ exceptions
// work as in any host: a crash on the check's thread ends that thread alone, any other is left
// to the filter before this one.
LONG WINAPI endCrashedCheck(EXCEPTION_POINTERS* exception)
{
    if (GetCurrentThreadId() == checkThreadId) {
        crash = *exception->ExceptionRecord;
        ExitThread(1);
    }
    return formerFilter ? formerFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

struct CheckThread {
    const IsolatedCheck::Body& body;
    CheckOutcome outcome;
    std::string lastStep;
    bool returned = false;
};

DWORD WINAPI runCheckThread(void* argument)
{
    CheckThread& check = *static_cast<CheckThread*>(argument);
    check.outcome = runGuarded(check.body, [&check](const std::string& step) { check.lastStep = step; });
    check.returned = true;
    return 0;
}

std::string exceptionName(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
        return "access violation";
    case EXCEPTION_STACK_OVERFLOW:
        return "stack overflow";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
        return "illegal instruction";
    case EXCEPTION_PRIV_INSTRUCTION:
        return "privileged instruction";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        return "integer division by zero";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        return "array bounds exceeded";
    case EXCEPTION_IN_PAGE_ERROR:
        return "page not readable";
    case EXCEPTION_BREAKPOINT:
        return "breakpoint";
    // What GCC's and Visual C++'s runtimes raise for a throw: here one nothing caught.
    case 0x20474343:
    case 0xe06d7363:
        return "C++ exception not caught";
    default:
        return "unknown exception";
    }
}

// Where the crash happened, as a module and an offset in it: the module is still loaded.
std::string crashPlace(const void* address)
{
    HMODULE module = nullptr;
    char path[MAX_PATH] = "";
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    char offset[32];
    if (!GetModuleHandleExA(flags, static_cast<const char*>(address), &module) ||
        GetModuleFileNameA(module, path, sizeof path) == 0) {
        std::snprintf(offset, sizeof offset, "%p", address);
        return offset;
    }
    const std::string name = path;
    std::snprintf(
        offset, sizeof offset, "+0x%llx",
        static_cast<unsigned long long>(static_cast<const char*>(address) - reinterpret_cast<const char*>(module)));
    return name.substr(name.find_last_of("\\/") + 1) + offset;
}

std::string crashDetail(const EXCEPTION_RECORD& record)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(record.ExceptionCode));
    return std::string("crashed (exception ") + code + ", " + exceptionName(record.ExceptionCode) + " at " +
           crashPlace(record.ExceptionAddress) + ")";
}

} // namespace

CheckOutcome IsolatedCheck::run(const Body& body) const
{
    CheckThread check{body, {}, {}};
    crash = {};
    formerFilter = SetUnhandledExceptionFilter(endCrashedCheck);
    HANDLE thread = CreateThread(nullptr, 0, runCheckThread, &check, CREATE_SUSPENDED, &checkThreadId);
    if (!thread) {
        SetUnhandledExceptionFilter(formerFilter);
        return {false, "cannot start a thread for the check", false, ""};
    }
    ResumeThread(thread);
    const bool finished = WaitForSingleObject(thread, static_cast<DWORD>(timeoutSeconds) * 1000) == WAIT_OBJECT_0;
    if (!finished) {
        // The effect is abandoned with its thread; nothing calls into it again.
        TerminateThread(thread, 1);
        WaitForSingleObject(thread, INFINITE);
    }
    DWORD exitCode = 0;
    GetExitCodeThread(thread, &exitCode);
    CloseHandle(thread);
    checkThreadId = 0;
    SetUnhandledExceptionFilter(formerFilter);

    if (check.returned) {
        if (!check.outcome.passed) {
            check.outcome.step = check.lastStep;
        }
        return check.outcome;
    }
    std::string detail;
    if (!finished) {
        detail = "did not finish within " + std::to_string(timeoutSeconds) + " s";
    } else if (crash.ExceptionCode != 0) {
        detail = crashDetail(crash);
    } else {
        detail = "ended without a result (thread exit code " + std::to_string(exitCode) + ")";
    }
    return {false, detail + (check.lastStep.empty() ? "" : " during " + check.lastStep), false, check.lastStep};
}

#else

namespace {

void writeLine(int pipe, char kind, const std::string& text)
{
    std::string line = kind + text;
    for (char& c : line) {
        c = c == '\n' ? ' ' : c;
    }
    line += '\n';
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t written = write(pipe, data, left);
        if (written <= 0) {
            return;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

} // namespace

CheckOutcome IsolatedCheck::run(const Body& body) const
{
    int channel[2];
    if (pipe(channel) != 0) {
        return {false, "cannot create a pipe for the check", false, ""};
    }
    // Nothing buffered may be written twice, once by each process.
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return {false, "cannot start a process for the check", false, ""};
    }
    if (child == 0) {
        close(channel[0]);
        // What the effect prints goes with the diagnostics, not into the check's lines.
        dup2(STDERR_FILENO, STDOUT_FILENO);
        alarm(static_cast<unsigned>(timeoutSeconds));
        const CheckOutcome outcome =
            runGuarded(body, [&](const std::string& step) { writeLine(channel[1], 'N', step); });
        writeLine(channel[1],
                  outcome.skipped  ? 'S'
                  : outcome.passed ? (outcome.warning ? 'W' : 'P')
                                   : 'F',
                  outcome.detail);
        // Straight out: the module's own exit-time code is not what this check is about.
        _exit(0);
    }
    close(channel[1]);
    std::string received;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = read(channel[0], buffer, sizeof buffer)) > 0) {
        received.append(buffer, static_cast<std::size_t>(count));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);

    std::string lastStep;
    std::size_t start = 0;
    for (std::size_t end; (end = received.find('\n', start)) != std::string::npos; start = end + 1) {
        const char kind = received[start];
        std::string text = received.substr(start + 1, end - start - 1);
        if (kind == 'P' || kind == 'W' || kind == 'S') {
            return {true, text, kind == 'W', "", kind == 'S'};
        }
        if (kind == 'F') {
            return {false, text, false, lastStep};
        }
        lastStep = std::move(text);
    }
    std::string detail;
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
        detail = "did not finish within " + std::to_string(timeoutSeconds) + " s";
    } else if (WIFSIGNALED(status)) {
        detail = "crashed (signal " + std::to_string(WTERMSIG(status)) + ", " + strsignal(WTERMSIG(status)) + ")";
    } else {
        detail = "ended without a result (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    }
    return {false, detail + (lastStep.empty() ? "" : " during " + lastStep), false, lastStep};
}

#endif

} // namespace vela
