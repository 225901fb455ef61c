// The Win32 window on the Win32 host under Wine on a real HID divider in the
// test guest: opened when it appears, a mode picked with the keyboard written
// to it, lost at an unplug and found again when plugged back, all through the
// window's own ticks. Wine learns of plugs through udev, a little later than
// they happen, so the scenario ticks until the window shows each outcome.
#include "device/win32/win32_host.h"
#include "support/window_user.h"
#include "unix_device.h"

#include <chrono>
#include <functional>
#include <thread>

namespace merovane::wine {
namespace {

using Strings = std::vector<std::string>;
using Key = test::WindowDriver::Key;

class WindowOnRealDividers : public test::WindowUser<Win32Host> {
protected:
    void SetUp() override {
        if (!CanMakeDevices())
            GTEST_SKIP() << "needs /dev/uhid: run in the test guest (tests/wine/run-guest-tests)";
    }

    // Ticks the window's timer until `shown` holds, for at most 30 s.
    bool TickUntil(const std::function<bool()>& shown) {
        for (int i = 0; i < 300 && !shown(); ++i) {
            Tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return shown();
    }
};

TEST_F(WindowOnRealDividers, OpensTheDividerWritesAKeyboardPickAndFindsItAgainAfterAnUnplug) {
    UnixDevice divider("MV-W1", {"--mode", "1"});
    Start();
    ASSERT_TRUE(TickUntil([&] { return State().DeviceFound; })) << "the divider was not opened";
    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-W1"});
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");
    EXPECT_TRUE(divider.FeatureWrites().empty());

    User().Focus(Control::Enc1);
    User().Type(Key::Down);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    EXPECT_EQ(divider.FeatureWrites(), Strings{"00 01 02"});

    // Wine fails the held handle (error 5, where Windows says the device is
    // gone): either way the probe fails and the window lets the device go.
    divider.Unplug();
    ASSERT_TRUE(TickUntil([&] { return Items(Window().SerNo).empty(); }))
        << "the unplugged divider is still listed";
    EXPECT_FALSE(State().DeviceFound);
    EXPECT_TRUE(Items(Window().Enc1).empty());

    divider.PlugBack();
    ASSERT_TRUE(TickUntil([&] { return State().DeviceFound; })) << "not found after the plug back";
    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-W1"});
    EXPECT_TRUE(TakesInput(Window().Enc1));

    Close();
    EXPECT_FALSE(Window().Timer.Enabled());
    EXPECT_EQ(divider.FeatureWrites(), Strings{"00 01 02"});
}

} // namespace
} // namespace merovane::wine
