// The system's request to remove the open device (Device Manager disabling
// it, a driver update) and its outcome. The system removes a device only once
// every handle on it is closed: the connection closes as at an unplug, but the
// serial list and its selection stay, and the timer looks for no device until
// the request is settled, since an open meanwhile would hold the device.
#include "window/frm_main.h"

namespace merovane {

namespace {

constexpr int LostDeviceInterval = 250; // ms, while looking for a device again

} // namespace

void frmMain::DeviceRemovalRequested() {
    if (!DeviceFound || unloaded_)
        return;
    removalRequested_ = true;
    Timer.SetEnabled(false);
    CloseConnection(false);
    RefreshDeviceDetails();
}

void frmMain::DeviceRemovalSettled() {
    if (!removalRequested_ || unloaded_)
        return;
    removalRequested_ = false;
    // Refused, the device selected is opened again; removed, the search
    // finds it gone and the next tick rescans, as after an unplug.
    Timer.SetInterval(LostDeviceInterval);
    RetrySelected = true;
    PollDevice();
    Timer.SetEnabled(true);
}

} // namespace merovane
