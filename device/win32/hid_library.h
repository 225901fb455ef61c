// hid.dll's functions as the Windows host calls them. hid.dll is not a
// KnownDLL, so it is not imported: it is loaded from System32 at run time and
// never from the program's folder. Each function keeps its name and the type
// its header declares.
#pragma once

#include <windows.h>
// mingw-w64's HID headers declare C functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

namespace merovane {

struct HidLibrary {
    decltype(&::HidD_GetHidGuid) HidD_GetHidGuid = nullptr;
    decltype(&::HidD_GetAttributes) HidD_GetAttributes = nullptr;
    decltype(&::HidD_GetSerialNumberString) HidD_GetSerialNumberString = nullptr;
    decltype(&::HidD_GetManufacturerString) HidD_GetManufacturerString = nullptr;
    decltype(&::HidD_GetProductString) HidD_GetProductString = nullptr;
    decltype(&::HidD_GetPreparsedData) HidD_GetPreparsedData = nullptr;
    decltype(&::HidD_FreePreparsedData) HidD_FreePreparsedData = nullptr;
    decltype(&::HidP_GetCaps) HidP_GetCaps = nullptr;
    // False when hid.dll or any of the functions is missing; then every
    // pointer is null.
    bool loaded = false;
};

// System32's hid.dll, loaded at the first call, once for the process.
const HidLibrary& Hid();

} // namespace merovane
