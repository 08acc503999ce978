// SPDX-License-Identifier: MIT
#include "host/check/isolated_check.h"

#include <cstdio>
#include <exception>

#ifndef _WIN32
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

CheckOutcome IsolatedCheck::run(const Body& body) const
{
    std::string lastStep;
    CheckOutcome outcome = runGuarded(body, [&lastStep](const std::string& step) { lastStep = step; });
    if (!outcome.passed) {
        outcome.step = lastStep;
    }
    return outcome;
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
