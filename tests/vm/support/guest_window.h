// A scenario on the real window over the real hidapi host, inside the guest:
// the devices present (GuestDevice), what the user does, what the window shows
// and what the devices received. The test drives the timer; nothing waits.
#pragma once

#include "device/hidapi_host.h"
#include "support/guest_device.h"
#include "support/guest_process.h"
#include "window/frm_main.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace merovane::guest {

// Skips the test where no device can be made (outside the guest).
#define MEROVANE_NEEDS_DEVICES()                                                                   \
    do {                                                                                           \
        if (!::merovane::guest::CanMakeDevices())                                                  \
            GTEST_SKIP() << "needs /dev/uhid: run it in the guest (tests/vm/run-guest-tests)";     \
    } while (false)

class GuestWindowScenario : public ::testing::Test {
protected:
    ~GuestWindowScenario() override;

    // The program starts: the window is made and loaded.
    void Start();
    // One tick of the window's timer, which must be running.
    void Tick();
    // The user picks an item; the list must take input.
    void PickSerial(int index);
    void PickMode(int index);
    // The user presses Command1.
    void PressCommand1();
    // The user closes the window.
    void Close();

    frmMain& Window() { return *window_; }
    const FormState& State() const { return window_->State(); }

    static std::vector<std::string> Items(const DropDownList& list);
    static bool TakesInput(const DropDownList& list);
    // Both handles of the connection, on `node`.
    static std::multiset<std::string> Connection(const std::string& node);

    HidapiHost host;

private:
    void Pick(DropDownList& list, int index);

    std::unique_ptr<frmMain> window_;
};

} // namespace merovane::guest
