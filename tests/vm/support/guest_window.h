// A scenario on the real window over the real hidapi host, inside the guest:
// the devices present (GuestDevice), what the user does, what the window shows
// and what the devices received. The test drives the timer; nothing waits.
#pragma once

#include "device/hidapi/hidapi_host.h"
#include "support/guest_device.h"
#include "support/guest_process.h"
#include "support/window_user.h"

#include <set>
#include <string>

namespace merovane::guest {

// Skips the test where no device can be made (outside the guest).
#define MEROVANE_NEEDS_DEVICES()                                                                   \
    do {                                                                                           \
        if (!::merovane::guest::CanMakeDevices())                                                  \
            GTEST_SKIP() << "needs /dev/uhid: run it in the guest (tests/vm/run-guest-tests)";     \
    } while (false)

class GuestWindowScenario : public test::WindowUser<HidapiHost> {
protected:
    // Both handles of the connection, on `node`.
    static std::multiset<std::string> Connection(const std::string& node) { return {node, node}; }
};

} // namespace merovane::guest
