// merovane-config.exe: the window on this machine's HID devices, through
// SetupAPI and hid.dll; built as merovane-config-demo.exe, on the simulated
// devices of the demo.
#include "device/simulated/demo_devices.h"
#include "device/simulated/simulated_host.h"
#include "device/win32/win32_host.h"
#include "window/frm_main.h"
#include "window/win32/win32_form.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Every library loaded from here on comes from System32, never from the
    // program's folder; the program imports nothing else statically.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
#ifdef MEROVANE_DEMO
    merovane::SimulatedHost host;
    merovane::PlugDemoDevices(host);
#else
    merovane::Win32Host host;
#endif
    merovane::frmMain window(host);
#ifndef MEROVANE_DEMO
    // Device Manager disabling the open divider, or updating its driver,
    // finds it released, as at an unplug.
    host.OnRemoval([&window](merovane::RemovalNotice notice) {
        if (notice == merovane::RemovalNotice::Requested)
            window.DeviceRemovalRequested();
        else
            window.DeviceRemovalSettled();
    });
#endif
    // Closing the window ends the program.
    dynamic_cast<merovane::Win32Form&>(window.View()).QuitOnClose();
    window.Load();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
