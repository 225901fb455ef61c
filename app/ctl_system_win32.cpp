// merovane-ctl on Windows: SetupAPI and hid.dll, and a UTF-8 console.
#include "app/ctl_system.h"
#include "device/win32/win32_host.h"

#include <windows.h>

namespace merovane {

// Device handles never take the place of a closed standard stream here: a
// closed stream simply has no handle, and the C library fails writes to it.
void ReserveClosedStandardStreams() {}

// The console shows the UTF-8 the program writes; output redirected to a file
// or a pipe is UTF-8 bytes either way.
void UseUtf8Output() {
    SetConsoleOutputCP(CP_UTF8);
}

// A console program has no message loop: the host takes Windows's notices
// of plugs at each enumeration.
std::unique_ptr<HidHost> MakeSystemHost() {
    return std::make_unique<Win32Host>(NoticeDelivery::WithoutMessageLoop);
}

} // namespace merovane
