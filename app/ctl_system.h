// What merovane-ctl takes from the system it runs on: one file per system.
#pragma once

#include "device/api_declarations.h"

#include <memory>

namespace merovane {

// Makes the program's output UTF-8 text, as every device string is printed.
void UseUtf8Output();

// The host over this system's real HID devices.
std::unique_ptr<HidHost> MakeSystemHost();

} // namespace merovane
