// A divider whose firmware hangs (it enumerates, but answers no feature
// request and sends no input reports) beside a good one, under Wine in the
// test guest: the Win32 host gives up on it after its bound, the window stays
// responsive while the user drives the good one, and merovane-ctl.exe says it
// does not answer. Wine's HID bus asks the kernel for the feature report, and
// the kernel waits 5 s for the device.
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
    UnixDevice stuck("MV-STUCK", Stuck);
    UnixDevice good("MV-GOOD", {"--mode", "1"});
    Start();
    ASSERT_TRUE(
        TickUntil([&] { return Items(Window().SerNo).size() == 2 && State().DeviceFound; }));
    ASSERT_EQ(Items(Window().SerNo), (Strings{"MV-STUCK", "MV-GOOD"})); // Wine lists in plug order
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");

    // The user picks the stuck one: its mode read gives up after the bound.
    EXPECT_LT(TimeOf([&] { PickSerial(0); }), Prompt);
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_EQ(stuck.IgnoredFeatureRequests(), 1);

    // It sends nothing: the ticks drop it and come back to the good one.
    ASSERT_TRUE(TickUntil([&] { return Window().Enc1.Text() == "Divide By 2"; }));
    PickSerial(1);
    User().Focus(Control::Enc1);
    User().Type(test::WindowDriver::Key::Down);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    EXPECT_EQ(good.FeatureWrites(), Strings{"00 01 02"});

    EXPECT_EQ(stuck.IgnoredFeatureRequests(), 1);
    EXPECT_LT(TimeOf([&] { Close(); }), Prompt);
}

TEST_F(StuckDividerUnderWine, CtlListsItAsNotAnsweringAndGetOnItExitsFour) {
    UnixDevice stuck("MV-STUCK2", Stuck);
    // Wine's bus learns of the device through udev: wait until the program lists it.
    ProgramRun list;
    for (int i = 0; i < 30 && list.out.find("MV-STUCK2") == std::string::npos; ++i)
        list = RunCtl("list");
    EXPECT_NE(list.out.find("not answering"), std::string::npos) << list.out;
    EXPECT_EQ(list.status, 0u);

    ProgramRun get;
    EXPECT_LT(TimeOf([&] { get = RunCtl("get --serial MV-STUCK2"); }), Prompt + Seconds(5))
        << "a Wine process's own start takes 2-5 s in the guest";
    EXPECT_EQ(get.status, 4u);
}

} // namespace
} // namespace merovane::wine
