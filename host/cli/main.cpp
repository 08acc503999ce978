// SPDX-License-Identifier: MIT
// vela-host: a VST 2 host for the command line, over the bundled host library.

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "host/cli/command_line.h"
#include "host/cli/commands.h"

namespace vela {
namespace {

const std::vector<const Command*>& allCommands()
{
    static const std::vector<const Command*> table
    {
        &infoCommand,
#if VELA_HOST_AUDIO_FILES
            &renderCommand, &levelsCommand,
#endif
            &benchCommand, &snapshotCommand, &checkCommand,
    };
    return table;
}

void printOverview(std::FILE* stream)
{
    std::fprintf(stream, "vela-host: loads a VST 2 module and drives it as a host does\n"
                         "\n"
                         "usage: vela-host COMMAND ARGUMENTS...\n"
                         "       vela-host COMMAND --help\n"
                         "       vela-host --version\n"
                         "\n"
                         "commands:\n");
    for (const Command* command : allCommands()) {
        std::fprintf(stream, "  %-9s %s\n  %-9s   %s\n", command->name, command->synopsis, "", command->summary);
    }
#if !VELA_HOST_AUDIO_FILES
    std::fprintf(stream, "\nrender and levels are not in this build: it was made without "
                         "libsndfile.\n");
#endif
    std::fprintf(stream, "\n"
                         "Exit status: 0 on success, 1 when the work failed, 2 for a usage mistake.\n");
}

void printCommandHelp(const Command& command)
{
    std::printf("usage: vela-host %s %s\n\n%s", command.name, command.synopsis, command.help);
}

bool asksForHelp(const std::vector<std::string>& words)
{
    for (const std::string& word : words) {
        if (word == "--") {
            return false;
        }
        if (word == "--help" || word == "-h") {
            return true;
        }
    }
    return false;
}

const Command* findCommand(const std::string& name)
{
    for (const Command* command : allCommands()) {
        if (name == command->name) {
            return command;
        }
    }
    return nullptr;
}

} // namespace
} // namespace vela

int main(int argc, char** argv)
{
    using namespace vela;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        printOverview(stderr);
        return 2;
    }
    const std::string& name = arguments.front();
    if (name == "--help" || name == "-h" || name == "help") {
        const Command* command = arguments.size() > 1 ? findCommand(arguments[1]) : nullptr;
        if (command) {
            printCommandHelp(*command);
        } else {
            printOverview(stdout);
        }
        return 0;
    }
    if (name == "--version") {
        std::printf("vela-host %s\n", VELA_VERSION);
        return 0;
    }
    const Command* command = findCommand(name);
    if (!command) {
#if !VELA_HOST_AUDIO_FILES
        if (name == "render" || name == "levels") {
            std::fprintf(stderr,
                         "vela-host: %s is not in this build: it was made without "
                         "libsndfile\n",
                         name.c_str());
            return 2;
        }
#endif
        std::fprintf(stderr, "vela-host: unknown command \"%s\" (see vela-host --help)\n", name.c_str());
        return 2;
    }
    const std::vector<std::string> words(arguments.begin() + 1, arguments.end());
    if (asksForHelp(words)) {
        printCommandHelp(*command);
        return 0;
    }
    try {
        return command->run(words);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "vela-host %s: %s (see vela-host %s --help)\n", command->name, error.what(),
                     command->name);
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vela-host %s: %s\n", command->name, error.what());
        return 1;
    }
}
