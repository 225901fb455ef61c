#include "device/wide_low_bytes.h"

namespace merovane {

AnsiText WideLowBytes(const StringBuffer& buffer) {
    AnsiText text;
    // Byte StringReadLength is never written by the read and stays 0, so the
    // loop ends there at the latest.
    for (std::size_t i = 0; i < buffer.size() && buffer[i] != 0; i += 2)
        text.push_back(static_cast<char>(buffer[i]));
    return text;
}

} // namespace merovane
