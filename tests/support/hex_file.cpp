#include "support/hex_file.h"

#include <fstream>
#include <iterator>
#include <string>

namespace merovane::test {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

} // namespace

std::optional<std::vector<std::uint8_t>> ParseHexText(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 3 + 1);
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsSpace(text[i])) {
            ++i;
            continue;
        }
        // A byte is exactly two digits followed by white space or the end.
        if (i + 1 >= text.size()) {
            return std::nullopt;
        }
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        if (i + 2 < text.size() && !IsSpace(text[i + 2])) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    return bytes;
}

std::optional<std::vector<std::uint8_t>> ReadHexFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) {
        return std::nullopt;
    }
    return ParseHexText(text);
}

} // namespace merovane::test
