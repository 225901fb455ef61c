#include "support/usb_power.h"

#include <fstream>
#include <stdexcept>

namespace merovane::guest {
namespace {

void WriteAttribute(const std::filesystem::path& file, const std::string& value) {
    std::ofstream out(file);
    out << value << std::flush;
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

} // namespace

UsbPower::UsbPower(const std::string& node) {
    // hidrawN/device is the HID device; its parent the USB interface, whose
    // parent is the USB device.
    const std::filesystem::path hid = std::filesystem::canonical(
        "/sys/class/hidraw" / std::filesystem::path(node).filename() / "device");
    device_ = hid.parent_path().parent_path();
    if (!std::filesystem::exists(device_ / "idVendor"))
        throw std::runtime_error(node + " has no USB device above it");
}

void UsbPower::AllowAutosuspend(int delayMs) {
    WriteAttribute(device_ / "power" / "autosuspend_delay_ms", std::to_string(delayMs));
    WriteAttribute(device_ / "power" / "control", "auto");
}

std::string UsbPower::RuntimeStatus() const {
    std::ifstream in(device_ / "power" / "runtime_status");
    std::string status;
    in >> status;
    return status;
}

} // namespace merovane::guest
