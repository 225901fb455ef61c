// Reading the .hex test files: byte pairs in hex separated by white space.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace merovane::test {

// The bytes written in `text` as hex pairs separated by white space; empty
// when the text holds anything else (an odd digit, a stray character).
std::optional<std::vector<std::uint8_t>> ParseHexText(std::string_view text);

// The bytes of the .hex file at `path`; empty when the file cannot be read
// or is not well formed.
std::optional<std::vector<std::uint8_t>> ReadHexFile(const std::filesystem::path& path);

} // namespace merovane::test
