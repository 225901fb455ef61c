// The connection to the selected device: two handles on one path (synchronous
// for feature reports, overlapped for the input-report probe), the report
// lengths, and the event the probe's reads carry. FindTheHid opens the first
// handle; the three steps here complete the connection.
#include "window/frm_main.h"

namespace merovane {

void frmMain::ReadCapabilities() {
    HANDLE returned = NO_HANDLE;
    CallResult = host_.HidD_GetPreparsedData(FeatureHandle, returned);
    if (CallResult == 0) {
        // Only a handle the host returned may be queried or freed. The lengths
        // become 0: no feature report is then read or written, and the probe
        // fails, which closes the connection and looks for the device again.
        Caps = HIDP_CAPS{};
        return;
    }
    PreparsedData = returned;
    CallResult = host_.HidP_GetCaps(PreparsedData, Caps);
    CallResult = host_.HidD_FreePreparsedData(PreparsedData);
    PreparsedData = NO_HANDLE;
}

HANDLE frmMain::OpenPath(DWORD FlagsAndAttributes) {
    const HANDLE opened = host_.CreateFileA(PathName.c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, &SecAttr,
                                            OPEN_EXISTING, FlagsAndAttributes, NO_HANDLE);
    // A collection the system holds for itself (a keyboard, a mouse), or one
    // another program holds, refuses read and write access. Opened with
    // access 0 it still answers the attributes, the strings and feature
    // reports; only its input reports cannot be read.
    const DWORD error = opened == INVALID_HANDLE_VALUE ? host_.GetLastError() : ERROR_SUCCESS;
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
        return opened;
    return host_.CreateFileA(PathName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, &SecAttr,
                             OPEN_EXISTING, FlagsAndAttributes, NO_HANDLE);
}

void frmMain::OpenInputHandle() {
    // The same open as the search's, but overlapped. Not tested: a failed open
    // makes the next probe fail.
    InputHandle = OpenPath(FILE_FLAG_OVERLAPPED);
}

void frmMain::ArmReadEvent() {
    if (ReadEvent == NO_HANDLE)
        ReadEvent = host_.CreateEventA(&SecAttr, 1, 1, "");
    ReadOverlap.Offset = 0;
    ReadOverlap.OffsetHigh = 0;
    ReadOverlap.hEvent = ReadEvent;
}

void frmMain::CloseConnection(bool unloading) {
    if (!unloading)
        DeviceFound = false;
    CallResult = host_.CloseHandle(FeatureHandle);
    CallResult = host_.CloseHandle(InputHandle);
}

} // namespace merovane
