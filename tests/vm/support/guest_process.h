// What the guest scenarios look at in their own process: the descriptors it
// holds, a rescue for a call stuck waiting on a device, and the unprivileged
// half of a scenario, run in a child process as the user nobody.
#pragma once

#include "support/guest_device.h"

#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace merovane::guest {

// The hidraw nodes this process holds open, one entry per descriptor, as the
// kernel names them ("/dev/hidraw1", or "/dev/hidraw1 (deleted)" once the
// device is gone).
std::multiset<std::string> OpenHidrawNodes();
// The number of descriptors this process holds open.
std::size_t OpenDescriptorCount();

// Frees the test's thread when a host call waits on `device` although it
// must not: unless the rescue is over first, after `seconds` it makes the
// device send one input report, which ends any read waiting on it. A call
// that does not wait never meets the rescue, so the test asserts only the
// call's outcome: a read that should have failed at once succeeds once rescued.
class StuckReadRescue {
public:
    explicit StuckReadRescue(GuestDevice& device, int seconds = 20);
    ~StuckReadRescue(); // ends the rescue if it has not come
    StuckReadRescue(const StuckReadRescue&) = delete;
    StuckReadRescue& operator=(const StuckReadRescue&) = delete;

    bool Came() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable over_;
    bool done_ = false;
    bool came_ = false;
    std::thread thread_;
};

inline constexpr unsigned UnprivilegedId = 65534; // nobody, nogroup

// True in a process RunUnprivileged started.
bool InUnprivilegedHalf();
// A variable RunUnprivileged handed to the child; empty when not set.
std::string HandedOver(const std::string& name);

// Runs the tests of this program that match `filter` again, in a child
// process as the user nobody (no supplementary groups, no capabilities), with
// `handedOver` in its environment. Returns the child's exit status: 0 when its
// tests ran and passed.
int RunUnprivileged(const std::string& filter,
                    const std::map<std::string, std::string>& handedOver);

} // namespace merovane::guest
