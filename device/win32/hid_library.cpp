#include "device/win32/hid_library.h"

#include "device/win32/system_library.h"

namespace merovane {

namespace {

HidLibrary LoadHid() {
    const HMODULE module = SystemLibrary(L"hid.dll");
    HidLibrary hid;
#define MEROVANE_HID_FUNCTION(name) hid.name = SystemFunction<decltype(hid.name)>(module, #name)
    MEROVANE_HID_FUNCTION(HidD_GetHidGuid);
    MEROVANE_HID_FUNCTION(HidD_GetAttributes);
    MEROVANE_HID_FUNCTION(HidD_GetSerialNumberString);
    MEROVANE_HID_FUNCTION(HidD_GetManufacturerString);
    MEROVANE_HID_FUNCTION(HidD_GetProductString);
    MEROVANE_HID_FUNCTION(HidD_GetPreparsedData);
    MEROVANE_HID_FUNCTION(HidD_FreePreparsedData);
    MEROVANE_HID_FUNCTION(HidP_GetCaps);
#undef MEROVANE_HID_FUNCTION
    const bool complete = hid.HidD_GetHidGuid && hid.HidD_GetAttributes &&
                          hid.HidD_GetSerialNumberString && hid.HidD_GetManufacturerString &&
                          hid.HidD_GetProductString && hid.HidD_GetPreparsedData &&
                          hid.HidD_FreePreparsedData && hid.HidP_GetCaps;
    if (!complete)
        return HidLibrary{};
    hid.loaded = true;
    return hid;
}

} // namespace

const HidLibrary& Hid() {
    static const HidLibrary hid = LoadHid();
    return hid;
}

} // namespace merovane
