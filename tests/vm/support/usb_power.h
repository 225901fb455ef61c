// The runtime power management of the USB device under a hidraw node, as the
// kernel shows it in sysfs: whether the device is suspended, and the setting
// that lets it suspend once idle.
#pragma once

#include <filesystem>
#include <string>

namespace merovane::guest {

class UsbPower {
public:
    // The USB device whose interface the hidraw `node` belongs to; throws when
    // the node has no USB parent.
    explicit UsbPower(const std::string& node);

    // Lets the device suspend once idle for `delayMs`, as a laptop's power
    // settings do (the kernel's default keeps most devices on).
    void AllowAutosuspend(int delayMs);
    // "active", "suspended", "resuming" or "suspending".
    std::string RuntimeStatus() const;

private:
    std::filesystem::path device_;
};

} // namespace merovane::guest
