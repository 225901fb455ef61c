// How device strings become text: the low byte of each UTF-16 unit, read as
// a Latin-1 character, up to the first unit whose low byte is 0. The read is
// told 100 bytes of a 201-byte buffer, so byte 100 is always 0 and a text has
// at most 50 characters.
#pragma once

#include "device/api_declarations.h"

#include <array>
#include <string>

namespace merovane {

inline constexpr std::size_t StringBufferSize = 201;
inline constexpr DWORD StringReadLength = 100;
using StringBuffer = std::array<BYTE, StringBufferSize>;

// Text in the single-byte code page (Latin-1): one char per character.
using AnsiText = std::string;

AnsiText WideLowBytes(const StringBuffer& buffer);

} // namespace merovane
