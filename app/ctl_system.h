// What merovane-ctl takes from the system it runs on: one file per system.
#pragma once

#include "device/api_declarations.h"

#include <memory>

namespace merovane {

// Keeps every library loaded from now on to the system's own: on Windows,
// from System32 only, never from the program's folder.
void LoadSystemLibrariesOnly();

// Gives each standard stream the caller closed a stand-in whose writes fail,
// so that no device opened later takes its place and the failure is reported.
void ReserveClosedStandardStreams();

// Makes the program's output UTF-8 text, as every device string is printed;
// whatever this changes in the terminal is set back however the program ends.
void UseUtf8Output();

// The host over this system's real HID devices.
std::unique_ptr<HidHost> MakeSystemHost();

} // namespace merovane
