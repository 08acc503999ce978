// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace vela {

// One of the tool's commands: "vela-host NAME ARGUMENTS...".
struct Command {
    const char* name;
    // The arguments, as the overall help lists them.
    const char* synopsis;
    // What the command does, in one line.
    const char* summary;
    // The command's own --help, after its synopsis.
    const char* help;
    // Runs with the words after the name; answers the exit status. Throws UsageError for
    // mistakes in the words and std::runtime_error (or a subclass) for everything else.
    int (*run)(const std::vector<std::string>& words);
};

extern const Command infoCommand;
extern const Command benchCommand;
extern const Command snapshotCommand;
extern const Command checkCommand;
#if VELA_HOST_AUDIO_FILES
// Built only where libsndfile is.
extern const Command renderCommand;
extern const Command levelsCommand;
#endif

} // namespace vela
