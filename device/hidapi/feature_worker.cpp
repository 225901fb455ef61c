#include "device/hidapi/feature_worker.h"

#include "device/api_declarations.h"
#include "device/host_strings.h"

#include <condition_variable>
#include <hidapi/hidapi.h>
#include <mutex>
#include <thread>
#include <utility>

namespace merovane {
namespace {

// The requests of this process that outlived their bound and the devices
// whose close waits for them. Made once and never destroyed: the threads of
// such requests may outlive every host and static object.
struct Outstanding {
    std::mutex mutex;
    int requests = 0;
    std::vector<hid_device*> toClose;
};

Outstanding& OutstandingRequests() {
    static Outstanding* const outstanding = new Outstanding;
    return *outstanding;
}

void RequestOutlivedBound() {
    Outstanding& outstanding = OutstandingRequests();
    const std::lock_guard lock(outstanding.mutex);
    ++outstanding.requests;
}

void RequestEnded() {
    Outstanding& outstanding = OutstandingRequests();
    std::vector<hid_device*> toClose;
    {
        const std::lock_guard lock(outstanding.mutex);
        if (--outstanding.requests == 0)
            toClose.swap(outstanding.toClose);
    }
    for (hid_device* device : toClose)
        hid_close(device);
}

// One transfer, shared by the caller and the thread that makes it.
struct Transfer {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool abandoned = false; // the caller stopped waiting
    FeatureTransferResult result;
};

FeatureTransferResult RunBounded(const SharedHidDevice& device, std::vector<std::uint8_t> report,
                                 bool read) {
    auto transfer = std::make_shared<Transfer>();
    std::thread([transfer, device = SharedHidDevice(device), read,
                 report = std::move(report)]() mutable {
        const int result =
            read ? hid_get_feature_report(device.get(), report.data(), report.size())
                 : hid_send_feature_report(device.get(), report.data(), report.size());
        const wchar_t* error = result < 0 ? hid_error(device.get()) : nullptr;
        bool abandoned = false;
        {
            const std::lock_guard lock(transfer->mutex);
            abandoned = transfer->abandoned;
            // A caller still waiting holds the device too: letting go of it
            // first leaves the caller the last owner, whose close is done
            // when its call to close returns.
            if (!abandoned)
                device.reset();
            transfer->result.answered = true;
            transfer->result.result = result;
            transfer->result.error =
                error != nullptr ? WideToUtf8(error) : std::string("unknown hidapi error");
            transfer->result.report = std::move(report);
            transfer->done = true;
        }
        transfer->ended.notify_one();
        if (abandoned) {
            device.reset(); // closes it here when the caller has let go of it
            RequestEnded();
        }
    }).detach();

    std::unique_lock lock(transfer->mutex);
    if (!transfer->ended.wait_for(lock, FeatureTransferBound, [&] { return transfer->done; })) {
        transfer->abandoned = true;
        RequestOutlivedBound();
        return {};
    }
    return std::move(transfer->result);
}

} // namespace

SharedHidDevice ShareHidDevice(hid_device* device) {
    return SharedHidDevice(device, CloseHidDevice);
}

FeatureTransferResult ReadFeatureBounded(const SharedHidDevice& device,
                                         std::vector<std::uint8_t> report) {
    return RunBounded(device, std::move(report), true);
}

FeatureTransferResult WriteFeatureBounded(const SharedHidDevice& device,
                                          std::vector<std::uint8_t> report) {
    return RunBounded(device, std::move(report), false);
}

bool FeatureRequestOutstanding() {
    Outstanding& outstanding = OutstandingRequests();
    const std::lock_guard lock(outstanding.mutex);
    return outstanding.requests > 0;
}

void CloseHidDevice(hid_device* device) {
    if (device == nullptr)
        return;
    {
        Outstanding& outstanding = OutstandingRequests();
        const std::lock_guard lock(outstanding.mutex);
        if (outstanding.requests > 0) {
            outstanding.toClose.push_back(device);
            return;
        }
    }
    hid_close(device);
}

} // namespace merovane
