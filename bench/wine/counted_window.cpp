// merovane-config.exe's window on this machine's HID devices, as the program
// makes it (app/win32_main.cpp), in the counting loop of the Wine figures:
//   counted_window.exe WARMUP WINDOW FILE
// Built as simulated_window.exe, the same window on the simulated host with
// no device: its walks touch memory only, so what it costs is the window's.
#include "device/simulated/simulated_host.h"
#include "device/win32/win32_host.h"
#include "window/frm_main.h"
#include "window/win32/win32_form.h"

// After the tool's headers: windows.h defines some of their names as macros.
#include "counted_loop.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    double warmup = 0;
    double window = 0;
    char file[MAX_PATH] = {};
    if (!merovane::bench::ReadStretch(warmup, window, file, sizeof file))
        return 2;
#ifdef MEROVANE_SIMULATED_HOST
    merovane::SimulatedHost host;
    const bool callsSystem = false;
#else
    merovane::Win32Host host;
    const bool callsSystem = true;
#endif
    merovane::frmMain form(host);
    form.Load();
    const HWND timerWindow = dynamic_cast<merovane::Win32Form&>(form.View()).Handle();
    return merovane::bench::RunCountedLoop(timerWindow, callsSystem, warmup, window, file);
}
