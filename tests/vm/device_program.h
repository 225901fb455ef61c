// What the guest's virtual device programs share: how they tell the test
// what happened, one flushed line at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace merovane::guest {

// Writes one line to stdout at once, so that a test reading it sees it now.
inline void Say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// Bytes as hex pairs, each after a blank: " 00 01 02".
inline std::string Hex(const std::uint8_t* data, std::size_t count) {
    std::string text;
    char pair[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, " %02x", data[i]);
        text += pair;
    }
    return text;
}

} // namespace merovane::guest
