// The hardware ID of a HID device as the enumeration reports it, without
// opening the device: "HID\VID_4F3A&PID_2B16" (four upper-case hex digits each).
#pragma once

#include "device/api_declarations.h"

#include <optional>
#include <string>
#include <string_view>

namespace merovane {

struct HardwareId {
    USHORT vendorId = 0;
    USHORT productId = 0;
    bool operator==(const HardwareId&) const = default;
};

std::string HardwareIdText(HardwareId id);

// Writes the hardware ID as zero-terminated text into `buffer` of `size`
// bytes, as SetupDiGetDeviceRegistryPropertyA does: *requiredSize (when
// given) gets the length with the terminator; fails, writing nothing, when
// the buffer is missing or too small.
BOOL WriteHardwareId(HardwareId id, BYTE* buffer, DWORD size, DWORD* requiredSize);

// The IDs in a hardware ID text; nothing when the text is not one.
std::optional<HardwareId> ParseHardwareId(std::string_view text);

} // namespace merovane
