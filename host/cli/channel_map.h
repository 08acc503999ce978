// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace vela {

// Which file channel feeds each of an effect's inputs: one to one when the counts agree, a
// mono file copied to every input, surplus file channels left out and surplus inputs silent.
class ChannelMap {
public:
    ChannelMap(int fileChannels, int effectInputs);

    // The file channel input reads (from 0), or -1 when the input stays silent.
    int sourceOf(int input) const;
    // The choice in words, for the user: "mono: channel 1 -> inputs 1 to 2 (copied)".
    std::string describe() const;

private:
    int fileChannels;
    int effectInputs;
};

} // namespace vela
