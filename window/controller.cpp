// The window's event handlers: load, unload, a pick in either list and the
// Command1 button.
#include "window/frm_main.h"

namespace merovane {

namespace {

constexpr int LostDeviceInterval = 250; // ms, while looking for a device again

} // namespace

void frmMain::Form_Load() {
    DetailsShown = false;
    ModeKnown = false;
    view_->Show(); // on screen before the device work begins
    Scan_USB_devices();
    DeviceFound = FindTheHid();
    RefreshDeviceDetails();
    Timer.SetEnabled(true);
}

void frmMain::Form_Unload() {
    Timer.SetEnabled(false);
    ModeKnown = false;
    // A connection that a pick or a loss closed already is not closed again.
    if (DeviceFound)
        CloseConnection(true);
}

void frmMain::SerNo_Click() {
    // The index changes a scan makes never reconnect. A pick does, whether or
    // not the open device's mode could be read: a divider that does not
    // answer must not keep the user from leaving it.
    if (ListFilling)
        return;
    Timer.SetEnabled(false);
    if (DeviceFound) {
        CloseConnection(false);
        Timer.SetInterval(LostDeviceInterval);
        DetailsShown = false;
    }
    DetailsShown = false;
    // No rescan: the device is looked for among those present now.
    DeviceFound = FindTheHid();
    RefreshDeviceDetails();
    Timer.SetEnabled(true);
}

void frmMain::Enc1_Click() {
    SendOutputMode();
}

void frmMain::Command1_Click() {
    SendAuxCommand();
}

} // namespace merovane
