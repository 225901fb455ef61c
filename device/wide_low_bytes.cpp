#include "device/wide_low_bytes.h"

namespace merovane {

AnsiText WideLowBytes(const StringBuffer& buffer) {
    // Byte StringReadLength is never written by the read and stays 0, so the
    // count ends there at the latest.
    std::size_t length = 0;
    while (2 * length < buffer.size() && buffer[2 * length] != 0)
        ++length;
    AnsiText text(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(buffer[2 * i]);
    return text;
}

} // namespace merovane
