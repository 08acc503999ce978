// SPDX-License-Identifier: MIT
#include "host/virtual_display.h"

#ifdef _WIN32

namespace vela {

VirtualDisplay::VirtualDisplay() = default;
VirtualDisplay::~VirtualDisplay() = default;

} // namespace vela

#else

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace vela {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);
// A resetting server takes connections again within milliseconds.
constexpr int kResetAttempts = 10;
constexpr auto kResetPause = std::chrono::milliseconds(20);
constexpr int kExecFailed = 127;
// "65535\n" and a little room: a longer report is not a display number.
constexpr std::size_t kLongestReport = 8;

// Starts Xvfb, which picks a display number it can really bind and writes it to reportFd.
pid_t startServer(int reportFd)
{
    // Built before fork: the child only execs or leaves.
    const std::string fd = std::to_string(reportFd);
    const pid_t child = fork();
    if (child == 0) {
        const int nothing = open("/dev/null", O_RDWR);
        dup2(nothing, STDIN_FILENO);
        dup2(nothing, STDOUT_FILENO);
        dup2(nothing, STDERR_FILENO);
        // -terminate: the server ends when its last client goes, which is this program's
        // keeper connection at the latest.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               "-terminate", static_cast<char*>(nullptr));
        _exit(kExecFailed);
    }
    if (child < 0) {
        throw std::runtime_error("cannot start Xvfb: fork failed");
    }
    return child;
}

// The line the server writes once it accepts connections, or "" when it ends, closes the
// pipe without a line or takes longer than the deadline.
std::string readReport(int fd, std::chrono::steady_clock::time_point deadline)
{
    std::string report;
    while (report.size() < kLongestReport) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return {};
        }
        pollfd ready{fd, POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return {};
        }
        char byte = 0;
        const ssize_t got = read(fd, &byte, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return {};
        }
        if (byte == '\n') {
            return report;
        }
        report += byte;
    }
    return {};
}

bool isDisplayNumber(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

void stopServer(pid_t server)
{
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
}

} // namespace

VirtualDisplay::VirtualDisplay()
{
    // The connection stays open either way: an X server resets when its last client leaves
    // and refuses connections meanwhile, which would fail the next editor's own connection.
    // The last client may have been the program run just before this one, so a display that
    // refuses is asked again for a moment before it counts as gone.
    const char* current = std::getenv("DISPLAY");
    if (current && *current != '\0') {
        for (int attempt = 0; attempt < kResetAttempts && !keeper; ++attempt) {
            if (attempt > 0) {
                std::this_thread::sleep_for(kResetPause);
            }
            keeper = XOpenDisplay(current);
        }
        if (keeper) {
            displayName = current;
            return;
        }
    }

    // The server chooses the number: only it can tell which one it can bind, whatever lock
    // files this program's /tmp shows or lacks.
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        throw std::runtime_error("cannot start Xvfb: no pipe for its display number");
    }
    // Above the standard streams, which the child points at /dev/null.
    int reportFd = pipeEnds[1];
    if (reportFd <= STDERR_FILENO) {
        reportFd = fcntl(pipeEnds[1], F_DUPFD, STDERR_FILENO + 1);
        close(pipeEnds[1]);
    }
    fcntl(pipeEnds[0], F_SETFD, FD_CLOEXEC);
    if (reportFd < 0) {
        close(pipeEnds[0]);
        throw std::runtime_error("cannot start Xvfb: no descriptor for its display number");
    }
    pid_t server = -1;
    try {
        server = startServer(reportFd);
    } catch (...) {
        close(pipeEnds[0]);
        close(reportFd);
        throw;
    }
    close(reportFd);

    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    const std::string number = readReport(pipeEnds[0], deadline);
    close(pipeEnds[0]);
    if (!isDisplayNumber(number)) {
        // A child that could not exec closes the pipe as it ends, a moment before it can be reaped.
        int status = 0;
        bool ended = false;
        for (int attempt = 0; attempt < 100 && !ended; ++attempt) {
            ended = waitpid(server, &status, WNOHANG) == server;
            if (!ended) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        if (!ended) {
            stopServer(server);
        }
        if (ended && WIFEXITED(status) && WEXITSTATUS(status) == kExecFailed) {
            throw std::runtime_error("no X display (DISPLAY is unset or does not answer) "
                                     "and Xvfb cannot be started: is it installed?");
        }
        throw std::runtime_error("no X display (DISPLAY is unset or does not answer) "
                                 "and the private Xvfb reported no display number");
    }

    const std::string name = ":" + number;
    while (std::chrono::steady_clock::now() < deadline) {
        if (Display* connection = XOpenDisplay(name.c_str())) {
            keeper = connection;
            serverProcess = server;
            displayName = name;
            setenv("DISPLAY", name.c_str(), 1);
            return;
        }
        if (waitpid(server, nullptr, WNOHANG) == server) {
            throw std::runtime_error("the private Xvfb on " + name + " ended before it took a connection");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stopServer(server);
    throw std::runtime_error("the private Xvfb on " + name + " took no connection within 10 s");
}

VirtualDisplay::~VirtualDisplay()
{
    if (keeper) {
        XCloseDisplay(static_cast<Display*>(keeper));
    }
    if (serverProcess > 0) {
        kill(serverProcess, SIGTERM);
        waitpid(serverProcess, nullptr, 0);
    }
}

} // namespace vela

#endif
