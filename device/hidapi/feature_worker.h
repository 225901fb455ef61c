// Feature transfers on hidraw devices that never keep the caller waiting
// longer than FeatureTransferBound.
//
// The kernel waits up to 5 s for a device to answer a feature request, and
// the ioctl cannot be interrupted (usbhid waits uninterruptibly). So each
// transfer runs on a thread of its own that shares the ownership of the
// device and owns its own copy of the report; the caller waits for it at most
// the bound. A transfer that outlives the bound goes on alone: an answer that
// comes later is dropped, and when the caller has let go of the device in the
// meantime, that thread closes it once the kernel has let go of the request.
//
// While a request is in the kernel, the kernel's hidraw driver holds every
// open and every close of any hidraw node until the request ends (measured:
// 4.8 s for an open beside a uhid device that does not answer). So while a
// request of this process that outlived its bound is still there, opens are
// refused (FeatureRequestOutstanding) and closes are put off (CloseHidDevice).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct hid_device_; // hidapi's opaque device

namespace merovane {

// A device shared between its handle and the transfers running on it; the
// last one to let go closes it through CloseHidDevice.
using SharedHidDevice = std::shared_ptr<hid_device_>;
SharedHidDevice ShareHidDevice(hid_device_* device);

struct FeatureTransferResult {
    bool answered = false;            // false: the bound passed first
    int result = -1;                  // hidapi's: the bytes transferred, or -1
    std::string error;                // hidapi's reason when result < 0
    std::vector<std::uint8_t> report; // a read's report as it came
};

// Reads the feature report whose ID is report[0], into a report of report's
// length; writes `report` (report ID first).
FeatureTransferResult ReadFeatureBounded(const SharedHidDevice& device,
                                         std::vector<std::uint8_t> report);
FeatureTransferResult WriteFeatureBounded(const SharedHidDevice& device,
                                          std::vector<std::uint8_t> report);

// True while a transfer of this process that outlived its bound is still in
// the kernel.
bool FeatureRequestOutstanding();

// Closes `device` now, or, while a request is outstanding, on the thread of
// the last such request once it has ended.
void CloseHidDevice(hid_device_* device);

} // namespace merovane
