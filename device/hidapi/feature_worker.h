// Feature transfers on hidraw devices that never keep the caller waiting
// longer than FeatureTransferBound, and never keep the process from ending.
//
// The kernel waits up to 5 s for a device to answer a feature request, and
// usbhid's wait cannot be interrupted: a thread in it would keep the whole
// process, and every pipe it writes to, alive until then. So each transfer is
// made by a short-lived child process that keeps, of this process's files,
// only the hidraw nodes; the caller waits for its answer at most the bound.
// A child that has not answered by then is killed, which ends a wait the
// kernel can interrupt (uhid's) at once; one in usbhid's wait goes on alone
// until the kernel gives the request up, and nothing waits for it: the
// process may end before it, and its output closes when it ends.
//
// While a request is in the kernel, the kernel's hidraw driver holds every
// open and every last close of any hidraw node until the request ends
// (measured: 4.8 s for an open beside a uhid device that does not answer).
// So while a child that outlived its bound lives, opens are refused
// (FeatureRequestOutstanding). Closes need no care: such a child holds every
// hidraw node this process had open when it started, and no other is opened
// while it lives, so a close here is never the last one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct hid_device_; // hidapi's opaque device

namespace merovane {

// A device shared by the handles that use it; the last one closes it.
using SharedHidDevice = std::shared_ptr<hid_device_>;
SharedHidDevice ShareHidDevice(hid_device_* device);

struct FeatureTransferResult {
    bool answered = false;            // false: the bound passed first
    int result = -1;                  // hidapi's: the bytes transferred, or -1
    std::string error;                // the reason when result < 0
    std::vector<std::uint8_t> report; // a read's report as it came
};

// Reads the feature report whose ID is report[0], into a report of report's
// length; writes `report` (report ID first).
FeatureTransferResult ReadFeatureBounded(hid_device_* device, std::vector<std::uint8_t> report);
FeatureTransferResult WriteFeatureBounded(hid_device_* device, std::vector<std::uint8_t> report);

// True while a transfer of this process that outlived its bound is still in
// the kernel. Never waits.
bool FeatureRequestOutstanding();

} // namespace merovane
