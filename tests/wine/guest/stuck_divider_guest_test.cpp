// A divider whose firmware hangs (it enumerates, but answers no feature
// request and sends no input reports) beside a good one, under Wine in the
// test guest: the window stays responsive while the user drives the good one,
// and merovane-ctl.exe says the stuck one does not answer.
//
// Wine does not pass the hang through as Windows does: its HID bus makes the
// kernel's feature request inside DeviceIoControl, which returns only when the
// kernel gives up (5 s), so there is nothing pending to cancel at the host's
// bound. The first request to the stuck divider therefore costs the kernel's
// 5 s here (about 1 s on Windows); the host takes that late failure for no
// answer and leaves the divider alone, so no later call waits on it.
#include "device/win32/win32_host.h"
#include "support/window_user.h"
#include "unix_device.h"

#include <chrono>
#include <functional>
#include <thread>

namespace merovane::wine {
namespace {

using Seconds = std::chrono::duration<double>;
using Strings = std::vector<std::string>;

// Longer than the host's bound with the guest's slowness, well short of the
// kernel's 5 s.
constexpr Seconds Prompt{2.5};

Seconds TimeOf(const std::function<void()>& action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::steady_clock::now() - start;
}

const std::vector<std::string> Stuck = {"--stuck", "--silent"};

class StuckDividerUnderWine : public test::WindowUser<Win32Host> {
protected:
    void SetUp() override {
        if (!CanMakeDevices())
            GTEST_SKIP() << "needs /dev/uhid: run in the test guest (tests/wine/run-guest-tests)";
    }

    // Ticks as the timer would, each one prompt, until `shown` or 30 s.
    bool TickUntil(const std::function<bool()>& shown) {
        for (int i = 0; i < 120 && !shown(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(Window().Timer.Interval()));
            EXPECT_LT(TimeOf([&] { Tick(); }), Prompt) << "tick " << i;
        }
        return shown();
    }
};

TEST_F(StuckDividerUnderWine, TheUserTriesItThenDrivesTheGoodOneAndNoTickWaitsLong) {
    UnixDevice stuck("MV-1-STUCK", Stuck);
    Start();
    // Found once Wine's bus has it; its mode read is the one that waits (see above).
    for (int i = 0; i < 120 && Items(Window().SerNo).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(Window().Timer.Interval()));
        EXPECT_LT(TimeOf([&] { Tick(); }), Prompt + Seconds(5)) << "tick " << i;
    }
    ASSERT_EQ(Items(Window().SerNo), Strings{"MV-1-STUCK"});
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_EQ(stuck.IgnoredFeatureRequests(), 1);

    // The good one arrives, named to come last whether Wine lists in plug
    // order or by path (a good "MV-GOOD" plugged after a stuck "MV-STUCK" was
    // listed first), so the rescans open it; the ticks drop the stuck one (it
    // sends nothing) and open the good one, not waiting on the stuck one again.
    UnixDevice good("MV-2-GOOD", {"--mode", "1"});
    ASSERT_TRUE(TickUntil([&] { return Window().Enc1.Text() == "Divide By 2"; }));
    const Strings serials = Items(Window().SerNo);
    ASSERT_EQ(serials.size(), 2u);
    const int stuckIndex = serials[0] == "MV-1-STUCK" ? 0 : 1;

    // The user tries the stuck one: it is left alone, so the pick is prompt.
    EXPECT_LT(TimeOf([&] { PickSerial(stuckIndex); }), Prompt);
    EXPECT_FALSE(TakesInput(Window().Enc1));
    ASSERT_TRUE(TickUntil([&] { return Window().Enc1.Text() == "Divide By 2"; }));

    // The user picks the good one by its serial and drives it.
    PickSerial(1 - stuckIndex);
    User().Focus(Control::Enc1);
    User().Type(test::WindowDriver::Key::Down);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    EXPECT_EQ(good.FeatureWrites(), Strings{"00 01 02"});

    EXPECT_EQ(stuck.IgnoredFeatureRequests(), 1);
    EXPECT_LT(TimeOf([&] { Close(); }), Prompt);
}

TEST_F(StuckDividerUnderWine, CtlListsItAsNotAnsweringAndGetOnItExitsFour) {
    UnixDevice stuck("MV-STUCK2", Stuck);
    // Wine's bus learns of the device through udev: run until the program lists it.
    ProgramRun list;
    for (int i = 0; i < 30 && list.out.find("MV-STUCK2") == std::string::npos; ++i)
        list = RunCtl("list");
    EXPECT_NE(list.out.find(" not answering "), std::string::npos) << list.out;
    EXPECT_EQ(list.status, 0u);

    // Each run is a new process that asks the device once: 5 s under Wine.
    EXPECT_EQ(RunCtl("get --serial MV-STUCK2").status, 4u);
    EXPECT_EQ(RunCtl("aux --serial MV-STUCK2").status, 4u);
}

} // namespace
} // namespace merovane::wine
