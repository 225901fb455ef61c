// A scenario on the real window over the simulated host: the devices present,
// what the user does, what the window shows and what the host recorded. The
// test drives the timer; nothing waits.
#pragma once

#include "device/simulated_host.h"
#include "support/test_devices.h"
#include "window/frm_main.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace merovane::test {

class WindowScenario : public ::testing::Test {
protected:
    ~WindowScenario() override;
    // Every scenario ends with the host's ledger checked.
    void TearDown() override;

    SimulatedHost::DeviceId Plug(VirtualDevice device) { return host.Plug(std::move(device)); }

    // The program starts: the window is made and loaded.
    void Start();
    // One tick of the window's timer, which must be running.
    void Tick();
    // The user picks an item; the list must take input (it and its frame enabled).
    void PickSerial(int index);
    void PickMode(int index);
    // The user closes the window.
    void Close();

    frmMain& Window() { return *window_; }
    const FormState& State() const { return window_->State(); }

    static std::vector<std::string> Items(const DropDownList& list);
    static bool TakesInput(const DropDownList& list);

    // The feature reports written so far, oldest first.
    std::vector<std::vector<BYTE>> WrittenReports() const;
    // The paths of the device handles open now.
    std::multiset<std::string> OpenPaths() const;
    // Nothing misused, no set or preparsed data left over, and exactly the
    // connection's handles open while it is open, none while it is closed.
    void ExpectHostClean() const;

    SimulatedHost host;

private:
    void Pick(DropDownList& list, int index);

    std::unique_ptr<frmMain> window_;
};

} // namespace merovane::test
