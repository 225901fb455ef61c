// Waiting for a divider touches no other device. Beside a USB HID interface
// that is no divider and that nothing else opens (the vendor interface of a
// gaming mouse, a receiver, a headset), the waiting window and merovane-ctl
// watch never open its node, so the device suspends as it would without them;
// the window keeps its 50 ms pace and finds a divider at the next tick.
#include "support/guest_ctl.h"
#include "support/guest_window.h"
#include "support/node_opens.h"
#include "support/usb_power.h"

#include <chrono>
#include <thread>

namespace merovane::guest {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// The interface on the virtual USB bus, the opens of its node by anyone, and
// its power state; allowed to suspend after half a second idle.
struct IdleUsbInterface {
    explicit IdleUsbInterface(const std::string& serial)
        : device(UsbOtherInterface(serial)), opens(device.Node()), power(device.Node()) {
        power.AllowAutosuspend(500);
    }
    GuestDevice device;
    NodeOpens opens;
    UsbPower power;
};

class WaitingBesideAUsbInterface : public GuestWindowScenario {
protected:
    void SetUp() override { MEROVANE_NEEDS_DEVICES(); }

    // Ticks the window at its own pace for `span`, as its timer would: a tick
    // that overruns its 50 ms slot is not made up. Returns the ticks made.
    int TicksAtThePaceFor(std::chrono::milliseconds span) {
        constexpr auto Pace = 50ms;
        const auto start = std::chrono::steady_clock::now();
        int ticks = 0;
        for (auto slot = start; slot < start + span; slot += Pace) {
            if (std::chrono::steady_clock::now() >= slot + Pace)
                continue; // this slot went by inside an earlier tick
            std::this_thread::sleep_until(slot);
            Tick();
            ++ticks;
        }
        return ticks;
    }
};

TEST_F(WaitingBesideAUsbInterface, TheWindowOpensItNeverLetsItSuspendKeepsItsPaceAndFindsADivider) {
    IdleUsbInterface other("OTHER-1");

    Start();
    const int ticks = TicksAtThePaceFor(10s);

    EXPECT_EQ(other.opens.Count(), 0);
    EXPECT_EQ(other.power.RuntimeStatus(), "suspended");
    // Of 200 slots; opening the node twice a tick left about 70.
    EXPECT_GE(ticks, 150);
    EXPECT_FALSE(State().DeviceFound);
    EXPECT_TRUE(Items(Window().SerNo).empty());
    EXPECT_EQ(Window().Timer.Interval(), 50);

    GuestDevice divider(Divider("MV-WAKE", 2));
    Tick();

    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-WAKE"});
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    EXPECT_EQ(OpenHidrawNodes(), Connection(divider.Node()));
    EXPECT_EQ(other.opens.Count(), 0);
    Close();
}

TEST_F(WaitingBesideAUsbInterface, WatchOpensItNeverAndLetsItSuspend) {
    IdleUsbInterface other("OTHER-2");
    GuestDevice divider(Divider("MV-WATCHED", 2));

    RunningCtl watch({"watch"});
    ASSERT_TRUE(watch.AwaitOutputLine("attached MV-WATCHED (" + divider.Node() + "): Divide By 4"))
        << watch.Finish().err;
    // Several looks (two a second) with nothing changed, then a change it reports.
    std::this_thread::sleep_for(3s);
    divider.ChangeMode(0);
    ASSERT_TRUE(watch.AwaitOutputLineWith({"mode", "MV-WATCHED", "Pass Through"}));
    watch.Interrupt();
    EXPECT_EQ(watch.Finish().status, 0);

    EXPECT_EQ(other.opens.Count(), 0);
    EXPECT_EQ(other.power.RuntimeStatus(), "suspended");
}

} // namespace
} // namespace merovane::guest
