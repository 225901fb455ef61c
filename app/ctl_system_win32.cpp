// merovane-ctl on Windows: SetupAPI and hid.dll, and a UTF-8 console.
#include "app/ctl_system.h"
#include "device/win32/win32_host.h"

#include <cstdlib>
#include <windows.h>

namespace merovane {

namespace {

// The console's output code page before the program changed it; 0: unchanged.
UINT previousCodePage = 0;

void RestoreCodePage() {
    if (previousCodePage != 0)
        SetConsoleOutputCP(previousCodePage);
}

// Ctrl+C, Ctrl+Break, the console closed, log-off, shut-down: the system may
// end the program without its exit handlers, so the code page is set back
// here. Ctrl+C still reaches the C library's SIGINT handler, which lets watch
// end normally.
::BOOL WINAPI RestoreCodePageOnControl(::DWORD) {
    RestoreCodePage();
    return FALSE; // the next handler (the system's: end the program) runs
}

} // namespace

void LoadSystemLibrariesOnly() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Device handles never take the place of a closed standard stream here: a
// closed stream simply has no handle, and the C library fails writes to it.
void ReserveClosedStandardStreams() {}

// The console shows the UTF-8 the program writes; output redirected to a file
// or a pipe is UTF-8 bytes either way. The console outlives the program, so
// its code page is set back at exit: later programs in it would otherwise
// print their text as UTF-8.
void UseUtf8Output() {
    const UINT current = GetConsoleOutputCP();
    if (current == 0 || current == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8))
        return; // no console, or already UTF-8
    previousCodePage = current;
    std::atexit(RestoreCodePage);
    SetConsoleCtrlHandler(RestoreCodePageOnControl, TRUE);
}

// A console program has no message loop: the host takes Windows's notices
// of plugs at each enumeration.
std::unique_ptr<HidHost> MakeSystemHost() {
    return std::make_unique<Win32Host>(NoticeDelivery::WithoutMessageLoop);
}

} // namespace merovane
