#include "device/version_text.h"

#include <cctype>
#include <charconv>

namespace merovane {

std::string VersionText(std::uint16_t version) {
    char text[16] = {' '};
    char* end = std::to_chars(text + 1, std::end(text), unsigned{version} >> 8).ptr;
    *end++ = '.';
    char* minor = end;
    end = std::to_chars(end, std::end(text), unsigned{version} & 0xFFu, 16).ptr;
    for (char* digit = minor; digit != end; ++digit)
        *digit = static_cast<char>(std::toupper(static_cast<unsigned char>(*digit)));
    return std::string(text, end);
}

} // namespace merovane
