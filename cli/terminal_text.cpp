#include "cli/terminal_text.h"

namespace merovane {

namespace {

constexpr std::size_t EchoLimit = 128;

void AppendEscape(std::string& out, char prefix, unsigned value, int digits) {
    constexpr const char* Hex = "0123456789abcdef";
    out += '\\';
    out += prefix;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += Hex[(value >> shift) & 0xF];
}

// The length of the well-formed UTF-8 sequence that starts `text`, or 0 when
// its first byte starts none (a stray continuation byte, an overlong form, a
// surrogate, a code point beyond U+10FFFF or a cut sequence).
std::size_t SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

// Appends the character at the start of `text`, escaped where a terminal
// could act on it; returns how many bytes it took.
std::size_t AppendSafe(std::string& out, std::string_view text) {
    const auto lead = static_cast<unsigned char>(text.front());
    const std::size_t length = SequenceLength(text);
    if (length == 0 || lead < 0x20 || lead == 0x7F) {
        AppendEscape(out, 'x', lead, 2);
        return 1;
    }
    if (lead == '\\') {
        out += "\\\\";
    } else if (lead == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0) {
        AppendEscape(out, 'u', static_cast<unsigned char>(text[1]), 4); // U+0080 to U+009F
    } else {
        out.append(text.substr(0, length));
    }
    return length;
}

} // namespace

std::string TerminalSafe(std::string_view text) {
    std::string safe;
    while (!text.empty())
        text.remove_prefix(AppendSafe(safe, text));
    return safe;
}

std::string Quoted(std::string_view text) {
    std::string quoted = "'";
    for (std::size_t shown = 0; !text.empty() && shown < EchoLimit; ++shown)
        text.remove_prefix(AppendSafe(quoted, text));
    return quoted + (text.empty() ? "'" : "'\u2026");
}

} // namespace merovane
