// The report descriptor of a hidraw node, read from sysfs: for /dev/hidrawN
// the kernel exposes it as /sys/class/hidraw/hidrawN/device/report_descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace merovane {

// The kernel keeps at most this many descriptor bytes per device.
inline constexpr std::size_t MaxReportDescriptorBytes = 4096;

struct HidrawDescriptorResult {
    std::optional<std::vector<std::uint8_t>> descriptor; // empty on failure
    std::string error;                                   // why it could not be read
};

// Reads the descriptor of the node at `devicePath`, which must be exactly
// /dev/hidraw<number> (see HidrawNodeName), below `sysfsRoot`. Fails for any
// other path, a missing or non-regular file, an empty file, and a file longer
// than MaxReportDescriptorBytes; never reads more than one byte past that bound.
HidrawDescriptorResult ReadHidrawReportDescriptor(std::string_view devicePath,
                                                  const std::filesystem::path& sysfsRoot = "/sys");

} // namespace merovane
