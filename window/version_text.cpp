#include "window/version_text.h"

#include <cstdio>

namespace merovane {

std::string VersionText(std::uint16_t version) {
    char text[16];
    std::snprintf(text, sizeof text, " %u.%X", unsigned{version} >> 8, unsigned{version} & 0xFFu);
    return text;
}

} // namespace merovane
