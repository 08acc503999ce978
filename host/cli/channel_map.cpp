// SPDX-License-Identifier: MIT
#include "host/cli/channel_map.h"

#include <algorithm>

namespace vela {

namespace {

// "1" or "1 to 4", counted from 1 for the reader.
std::string span(int first, int last)
{
    return first == last ? std::to_string(first) : std::to_string(first) + " to " + std::to_string(last);
}

std::string plural(const char* word, int first, int last)
{
    return std::string(word) + (first == last ? " " : "s ") + span(first, last);
}

} // namespace

ChannelMap::ChannelMap(int fileChannels, int effectInputs) : fileChannels(fileChannels), effectInputs(effectInputs) {}

int ChannelMap::sourceOf(int input) const
{
    if (fileChannels == 1) {
        return 0;
    }
    return input < fileChannels ? input : -1;
}

std::string ChannelMap::describe() const
{
    if (effectInputs == 0) {
        return "the effect has no inputs: the file sets only the length";
    }
    if (fileChannels == 1 && effectInputs > 1) {
        return "mono: channel 1 -> " + plural("input", 1, effectInputs) + " (copied)";
    }
    const int shared = std::min(fileChannels, effectInputs);
    std::string text = plural("channel", 1, shared) + " -> " + plural("input", 1, shared);
    if (fileChannels > effectInputs) {
        text += "; " + plural("channel", shared + 1, fileChannels) + " left out";
    } else if (effectInputs > fileChannels) {
        text += "; " + plural("input", shared + 1, effectInputs) + " silent";
    }
    return text;
}

} // namespace vela
