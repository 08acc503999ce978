// SPDX-License-Identifier: MIT
#include "host/cli/virtual_display.h"

#ifndef _WIN32
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#endif

namespace vela {

#ifdef _WIN32

VirtualDisplay::VirtualDisplay() = default;
VirtualDisplay::~VirtualDisplay() = default;

#else

namespace {

// Above the numbers the project's scripts and desktops take first.
constexpr int kFirstDisplayNumber = 120;
constexpr int kLastDisplayNumber = 199;
constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr int kExecFailed = 127;

bool numberIsTaken(int number)
{
    struct stat found;
    const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    return stat(lock.c_str(), &found) == 0 || stat(socket.c_str(), &found) == 0;
}

pid_t startServer(const std::string& name)
{
    const pid_t child = fork();
    if (child == 0) {
        const int nothing = open("/dev/null", O_RDWR);
        dup2(nothing, STDIN_FILENO);
        dup2(nothing, STDOUT_FILENO);
        dup2(nothing, STDERR_FILENO);
        // -terminate: the server ends when its last client goes, which is this program's
        // keeper connection at the latest.
        execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-terminate",
               static_cast<char*>(nullptr));
        _exit(kExecFailed);
    }
    if (child < 0) {
        throw std::runtime_error("cannot start Xvfb: fork failed");
    }
    return child;
}

} // namespace

VirtualDisplay::VirtualDisplay()
{
    // The connection stays open either way: an X server resets when its last client leaves
    // and refuses connections meanwhile, which would fail the next editor's own connection.
    const char* current = std::getenv("DISPLAY");
    if (current && *current != '\0') {
        keeper = XOpenDisplay(current);
        if (keeper) {
            displayName = current;
            return;
        }
    }
    for (int number = kFirstDisplayNumber; number <= kLastDisplayNumber; ++number) {
        if (numberIsTaken(number)) {
            continue;
        }
        const std::string name = ":" + std::to_string(number);
        const pid_t server = startServer(name);
        const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(server, &status, WNOHANG) == server) {
                if (WIFEXITED(status) && WEXITSTATUS(status) == kExecFailed) {
                    throw std::runtime_error("no X display (DISPLAY is unset or does not answer) "
                                             "and Xvfb cannot be started: is it installed?");
                }
                break; // another program took this number meanwhile
            }
            if (Display* connection = XOpenDisplay(name.c_str())) {
                keeper = connection;
                serverProcess = server;
                displayName = name;
                setenv("DISPLAY", name.c_str(), 1);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    }
    throw std::runtime_error("no X display, and no private Xvfb would start on :" +
                             std::to_string(kFirstDisplayNumber) + " to :" + std::to_string(kLastDisplayNumber));
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

#endif

} // namespace vela
