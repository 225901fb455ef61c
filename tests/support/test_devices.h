// Test devices described as data.
#pragma once

#include "device/simulated/virtual_device.h"

#include <string>

namespace merovane::test {

// A clock divider that streams input reports: the given serial number,
// manufacturer "ACME", product "Divider", version 1.23, a 65-byte input
// report and a 3-byte feature report, in `mode`.
VirtualDevice Divider(std::u16string serial, BYTE mode = 0);

// A HID keyboard: not a target, no serial number.
VirtualDevice Keyboard();

// A HID keyboard the system holds for itself, as Windows does its keyboards
// and mice: it refuses read and write access and grants access 0.
VirtualDevice SystemKeyboard();

} // namespace merovane::test
