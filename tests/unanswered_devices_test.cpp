// Which devices a host leaves alone after a feature request went unanswered.
#include "device/unanswered_devices.h"

#include <gtest/gtest.h>

namespace merovane {
namespace {

using namespace std::chrono_literals;

TEST(UnansweredDevices, ADeviceIsLeftAloneForThePauseUnlessItAnswersAndOthersNever) {
    UnansweredDevices devices;
    const auto t0 = UnansweredDevices::Clock::now();
    devices.DidNotAnswer("/dev/hidraw0#11", t0);

    EXPECT_TRUE(devices.LeftAlone("/dev/hidraw0#11", t0 + FeatureTransferPause - 1ms));
    EXPECT_FALSE(devices.LeftAlone("/dev/hidraw0#12", t0)); // its node made anew
    EXPECT_FALSE(devices.LeftAlone("/dev/hidraw0#11", t0 + FeatureTransferPause));

    devices.DidNotAnswer("/dev/hidraw0#11", t0);
    devices.Answered("/dev/hidraw0#11");
    EXPECT_FALSE(devices.LeftAlone("/dev/hidraw0#11", t0));
}

} // namespace
} // namespace merovane
