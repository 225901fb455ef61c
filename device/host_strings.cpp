#include "device/host_strings.h"

#include <cstring>
#include <limits>

namespace merovane {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char32_t) || sizeof(wchar_t) == sizeof(char16_t));

constexpr char32_t ReplacementCharacter = 0xFFFD;
constexpr char32_t MaxCodePoint = 0x10FFFF;

constexpr bool IsSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}
constexpr bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

constexpr char32_t ScalarOrReplacement(char32_t codePoint) {
    return (IsSurrogate(codePoint) || codePoint > MaxCodePoint) ? ReplacementCharacter : codePoint;
}

// Appends UTF-16LE units to a byte buffer, a code point at a time, and never
// past its end.
class Utf16leSink {
public:
    explicit Utf16leSink(std::span<std::uint8_t> out) : out_(out) {}

    // Writes the units of a scalar value if all of them fit; false otherwise.
    bool Put(char32_t scalar) {
        if (scalar < 0x10000) {
            if (!Fits(1)) {
                return false;
            }
            Unit(static_cast<char16_t>(scalar));
            return true;
        }
        if (!Fits(2)) {
            return false;
        }
        const char32_t offset = scalar - 0x10000;
        Unit(static_cast<char16_t>(0xD800 + (offset >> 10)));
        Unit(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
        return true;
    }

    std::size_t Terminate() {
        if (Fits(1)) {
            Unit(0);
        }
        return written_;
    }

private:
    bool Fits(std::size_t units) const { return out_.size() - written_ >= units * 2; }

    void Unit(char16_t unit) {
        out_[written_++] = static_cast<std::uint8_t>(unit & 0xFF);
        out_[written_++] = static_cast<std::uint8_t>(unit >> 8);
    }

    std::span<std::uint8_t> out_;
    std::size_t written_ = 0;
};

// Calls `emit` with each code point of UTF-16 text, an unpaired surrogate
// turned into U+FFFD, until `emit` returns false.
template <typename Emit> void DecodeUtf16(std::u16string_view text, Emit emit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        char32_t codePoint = unit;
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            codePoint = 0x10000 + ((unit - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00);
            ++i;
        } else if (IsSurrogate(unit)) {
            codePoint = ReplacementCharacter;
        }
        if (!emit(codePoint)) {
            return;
        }
    }
}

void AppendUtf8(std::string& text, char32_t scalar) {
    const auto byte = [&text](char32_t value) {
        text.push_back(static_cast<char>(value));
    };
    if (scalar < 0x80) {
        byte(scalar);
    } else if (scalar < 0x800) {
        byte(0xC0 | (scalar >> 6));
        byte(0x80 | (scalar & 0x3F));
    } else if (scalar < 0x10000) {
        byte(0xE0 | (scalar >> 12));
        byte(0x80 | ((scalar >> 6) & 0x3F));
        byte(0x80 | (scalar & 0x3F));
    } else {
        byte(0xF0 | (scalar >> 18));
        byte(0x80 | ((scalar >> 12) & 0x3F));
        byte(0x80 | ((scalar >> 6) & 0x3F));
        byte(0x80 | (scalar & 0x3F));
    }
}

} // namespace

std::size_t Utf32ToUtf16le(std::u32string_view text, std::span<std::uint8_t> out) {
    Utf16leSink sink(out);
    for (const char32_t codePoint : text) {
        if (!sink.Put(ScalarOrReplacement(codePoint))) {
            break;
        }
    }
    return sink.Terminate();
}

std::size_t Utf16ToUtf16le(std::u16string_view text, std::span<std::uint8_t> out) {
    Utf16leSink sink(out);
    DecodeUtf16(text, [&sink](char32_t codePoint) { return sink.Put(codePoint); });
    return sink.Terminate();
}

std::size_t WideToUtf16le(std::wstring_view text, std::span<std::uint8_t> out) {
    if constexpr (sizeof(wchar_t) == sizeof(char32_t)) {
        std::u32string units(text.size(), U'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            units[i] = static_cast<char32_t>(text[i]);
        }
        return Utf32ToUtf16le(units, out);
    } else {
        std::u16string units(text.size(), u'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            units[i] = static_cast<char16_t>(text[i]);
        }
        return Utf16ToUtf16le(units, out);
    }
}

std::string WideToUtf8(std::wstring_view text) {
    std::string result;
    if constexpr (sizeof(wchar_t) == sizeof(char32_t)) {
        for (const wchar_t unit : text) {
            AppendUtf8(result, ScalarOrReplacement(static_cast<char32_t>(unit)));
        }
    } else {
        std::u16string units(text.size(), u'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            units[i] = static_cast<char16_t>(text[i]);
        }
        DecodeUtf16(units, [&result](char32_t codePoint) {
            AppendUtf8(result, codePoint);
            return true;
        });
    }
    return result;
}

BOOL WriteInterfaceDetail(std::string_view path, BYTE* record, DWORD recordSize,
                          DWORD* requiredSize) {
    if (path.find('\0') != std::string_view::npos ||
        path.size() > std::numeric_limits<DWORD>::max() - DETAIL_DATA_PATH_OFFSET - 1) {
        return 0;
    }
    const DWORD required = DETAIL_DATA_PATH_OFFSET + static_cast<DWORD>(path.size()) + 1;
    if (requiredSize != nullptr) {
        *requiredSize = required;
    }
    if (record == nullptr || recordSize < required) {
        return 0;
    }
    // recordSize >= required > DETAIL_DATA_PATH_OFFSET: the size field is readable.
    const DWORD sizeField = DWORD{record[0]} | (DWORD{record[1]} << 8) | (DWORD{record[2]} << 16) |
                            (DWORD{record[3]} << 24);
    if (sizeField != SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE) {
        return 0;
    }
    std::memcpy(record + DETAIL_DATA_PATH_OFFSET, path.data(), path.size());
    record[DETAIL_DATA_PATH_OFFSET + path.size()] = 0;
    return 1;
}

std::optional<std::string> HidrawNodeName(std::string_view devicePath) {
    constexpr std::string_view Prefix = "/dev/";
    constexpr std::string_view NodePrefix = "hidraw";
    constexpr std::size_t MaxDigits = 9;
    if (!devicePath.starts_with(Prefix)) {
        return std::nullopt;
    }
    const std::string_view node = devicePath.substr(Prefix.size());
    if (!node.starts_with(NodePrefix)) {
        return std::nullopt;
    }
    const std::string_view digits = node.substr(NodePrefix.size());
    if (digits.empty() || digits.size() > MaxDigits || (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    return std::string(node);
}

} // namespace merovane
