// The version caption: a blank, the release number's high byte in decimal, a
// dot, its low byte in upper-case hexadecimal; neither part padded.
// 0x1234 gives " 18.34". The number is taken as unsigned: 0x8001 gives " 128.1".
#pragma once

#include <cstdint>
#include <string>

namespace merovane {

std::string VersionText(std::uint16_t version);

} // namespace merovane
