// A scenario on the real window over the simulated host: the devices present,
// what the user does, what the window shows and what the host recorded. The
// test drives the timer; nothing waits.
#pragma once

#include "device/simulated/simulated_host.h"
#include "support/test_devices.h"
#include "support/window_user.h"

#include <set>
#include <string>
#include <vector>

namespace merovane::test {

class WindowScenario : public WindowUser<SimulatedHost> {
protected:
    // Every scenario ends with the host's ledger checked.
    void TearDown() override;

    SimulatedHost::DeviceId Plug(VirtualDevice device) { return host.Plug(std::move(device)); }

    // The feature reports written so far, oldest first.
    std::vector<std::vector<BYTE>> WrittenReports() const;
    // The paths of the device handles open now.
    std::multiset<std::string> OpenPaths() const;
    // Nothing misused, no set or preparsed data left over, and exactly the
    // connection's handles open while it is open, none while it is closed.
    void ExpectHostClean();
};

} // namespace merovane::test
