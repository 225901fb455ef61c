#include "device/hardware_id.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace merovane {

namespace {

constexpr std::string_view Prefix = "HID\\VID_";
constexpr std::string_view ProductPart = "&PID_";
constexpr std::size_t HexDigits = 4;

std::optional<USHORT> ParseHex4(std::string_view text) {
    if (text.size() != HexDigits)
        return std::nullopt;
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return static_cast<USHORT>(value);
}

} // namespace

std::string HardwareIdText(HardwareId id) {
    char text[32];
    std::snprintf(text, sizeof text, "HID\\VID_%04X&PID_%04X", unsigned{id.vendorId},
                  unsigned{id.productId});
    return text;
}

BOOL WriteHardwareId(HardwareId id, BYTE* buffer, DWORD size, DWORD* requiredSize) {
    const std::string text = HardwareIdText(id);
    const auto required = static_cast<DWORD>(text.size() + 1);
    if (requiredSize != nullptr)
        *requiredSize = required;
    if (buffer == nullptr || size < required)
        return 0;
    std::memcpy(buffer, text.c_str(), required);
    return 1;
}

std::optional<HardwareId> ParseHardwareId(std::string_view text) {
    if (!text.starts_with(Prefix))
        return std::nullopt;
    text.remove_prefix(Prefix.size());
    const auto vendor = ParseHex4(text.substr(0, HexDigits));
    if (!vendor || text.size() < HexDigits)
        return std::nullopt;
    text.remove_prefix(HexDigits);
    if (!text.starts_with(ProductPart))
        return std::nullopt;
    text.remove_prefix(ProductPart.size());
    const auto product = ParseHex4(text);
    if (!product)
        return std::nullopt;
    return HardwareId{*vendor, *product};
}

} // namespace merovane
