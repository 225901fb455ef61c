// The Win32 window on the Win32 host under Wine on a real HID divider in the
// test guest: opened when it appears, a mode picked with the keyboard written
// to it, lost at an unplug and found again when plugged back, all through the
// window's own ticks; and waiting among other HID devices without asking
// Windows anything until a divider arrives. Wine learns of plugs through
// udev, a little later than they happen, so the scenarios tick until the
// window shows each outcome, taking the thread's messages between ticks as
// the window's message loop does.
#include "device/win32/win32_host.h"
#include "support/window_user.h"
#include "system_calls.h"
#include "unix_device.h"

#include <chrono>
#include <functional>

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
            WaitTakingMessages(std::chrono::milliseconds(100));
        }
        return shown();
    }
    // Waits until Windows lists `count` interfaces named `name`, for at most 30 s.
    static bool AwaitListed(const char* name, int count) {
        for (int i = 0; i < 300 && ListedInterfaces(name) != count; ++i)
            WaitTakingMessages(std::chrono::milliseconds(100));
        return ListedInterfaces(name) == count;
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

TEST_F(WindowOnRealDividers, WaitsAmongOtherDevicesAskingNothingAndShowsAPlugWithinTwoTicks) {
    // Three HID devices that are not dividers, listed before the window starts.
    UnixDevice first("OTHER-W1", {"--vendor", "0x1234", "--product", "0x0001"});
    UnixDevice second("OTHER-W2", {"--vendor", "0x1234", "--product", "0x0002"});
    UnixDevice third("OTHER-W3", {"--vendor", "0x1234", "--product", "0x0003"});
    ASSERT_TRUE(AwaitListed("vid_1234", 3));
    SystemCallCounter system;
    Start();
    Tick();
    const SystemCallCount firstTick = system.Count();
    EXPECT_GE(firstTick.walks, 1);
    EXPECT_GE(firstTick.opens, 3);

    // The window waits 10 s at its pace: no SetupAPI walk, no open.
    system.Reset();
    for (int i = 0; i < 200; ++i) {
        WaitTakingMessages(std::chrono::milliseconds(50));
        Tick();
    }
    EXPECT_EQ(system.Count().walks, 0);
    EXPECT_EQ(system.Count().opens, 0);
    EXPECT_TRUE(Items(Window().SerNo).empty());

    // A divider is plugged: the window shows it at the first or second tick
    // after Windows announced it (to this thread, as to the host).
    GUID hid;
    host.HidD_GetHidGuid(hid);
    HidInterfaceNotices announced(NoticeDelivery::ThroughMessageLoop, hid);
    UnixDevice divider("MV-W2", {"--mode", "2"});
    int ticks = 0;
    int announcedAt = -1;
    while (ticks < 600 && !State().DeviceFound) {
        WaitTakingMessages(std::chrono::milliseconds(50));
        if (announcedAt < 0 && announced.Pending())
            announcedAt = ticks;
        Tick();
        ++ticks;
    }
    ASSERT_TRUE(State().DeviceFound) << "the divider was not opened";
    for (int i = 0; i < 100 && announcedAt < 0 && !announced.Pending(); ++i)
        WaitTakingMessages(std::chrono::milliseconds(50));
    ASSERT_TRUE(announced.Pending() || announcedAt >= 0) << "Windows did not announce it";
    if (announcedAt >= 0) {
        EXPECT_LE(ticks - announcedAt, 2);
    }
    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-W2"});
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    EXPECT_LE(system.Count().walks, 3);

    // Unplugged, it goes from the window as before.
    divider.Unplug();
    ASSERT_TRUE(TickUntil([&] { return Items(Window().SerNo).empty(); }))
        << "the unplugged divider is still listed";
    EXPECT_FALSE(State().DeviceFound);
    Close();
}

} // namespace
} // namespace merovane::wine
