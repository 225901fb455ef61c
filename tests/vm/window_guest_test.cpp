// The whole window over the hidapi host on real hidraw devices: start, picks,
// losses and returns, a silent device, and the close.
//
// The devices are made through uhid: without a USB parent device hidapi reads
// their manufacturer as "" and their release number as 0, so the window shows
// an empty manufacturer and version " 0.0" here, where a device on a real USB
// bus shows both.
#include "device/feature_protocol.h"
#include "device/version_text.h"
#include "support/guest_window.h"

namespace merovane::guest {
namespace {

using Strings = std::vector<std::string>;

class WindowOnRealDevices : public GuestWindowScenario {
protected:
    void SetUp() override { MEROVANE_NEEDS_DEVICES(); }
};

TEST_F(WindowOnRealDevices, StartingWithTwoDividersOpensTheLastListedShowsItsModeAndWritesNothing) {
    GuestDevice keyboard(Keyboard());
    GuestDevice first(Divider("MV-FIRST", 1));
    GuestDevice second(Divider("MV-SECOND", 3));

    Start();

    EXPECT_EQ(Items(Window().SerNo), (Strings{"MV-FIRST", "MV-SECOND"}));
    EXPECT_EQ(Window().SerNo.Text(), "MV-SECOND");
    EXPECT_TRUE(TakesInput(Window().SerNo));
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(State().PathName, second.Node());
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 8");
    EXPECT_TRUE(TakesInput(Window().Enc1));
    EXPECT_EQ(Window().lblProduct.Caption(), " Merovane test divider");
    EXPECT_EQ(Window().lblManuf.Caption(), " "); // no USB parent: no manufacturer
    EXPECT_EQ(Window().lblVersion.Caption(), VersionText(0));
    // Exactly the connection's two handles are open, on the device shown.
    EXPECT_EQ(OpenHidrawNodes(), Connection(second.Node()));
    // The mode was read from the device shown, and nothing was written anywhere.
    EXPECT_EQ(second.FeatureReads(), 1);
    EXPECT_EQ(first.FeatureReads(), 0);
    EXPECT_TRUE(first.FeatureWrites().empty());
    EXPECT_TRUE(second.FeatureWrites().empty());
}

TEST_F(WindowOnRealDevices, EachPickWritesExactlyItsReportToTheOpenDevice) {
    GuestDevice first(Divider("MV-FIRST", 1));
    GuestDevice second(Divider("MV-SECOND", 0));
    Start();

    for (const int mode : {2, 0, 3, 1})
        PickMode(mode);
    PressCommand1();

    EXPECT_EQ(second.FeatureWrites(),
              (std::vector<Bytes>{{0, 1, 2}, {0, 1, 0}, {0, 1, 3}, {0, 1, 1}, {0, 2, 99}}));
    EXPECT_TRUE(first.FeatureWrites().empty());
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");

    // The other serial: the first device is opened and written to from then on.
    PickSerial(0);
    EXPECT_EQ(State().PathName, first.Node());
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");
    PickMode(3);
    EXPECT_EQ(first.FeatureWrites(), (std::vector<Bytes>{{0, 1, 3}}));
    EXPECT_EQ(second.FeatureWrites().size(), 5u);
    EXPECT_EQ(OpenHidrawNodes(), Connection(first.Node()));
}

TEST_F(WindowOnRealDevices, WhenTheOpenDeviceIsUnpluggedTheOtherIsOpenedAtTheNextTick) {
    GuestDevice first(Divider("MV-FIRST", 1));
    GuestDevice second(Divider("MV-SECOND", 3));
    Start();
    second.SendInputReport();
    Tick(); // a good probe
    ASSERT_EQ(Window().Timer.Interval(), 500);

    second.Unplug();
    Tick();

    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-FIRST"});
    EXPECT_FALSE(TakesInput(Window().SerNo));
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(State().PathName, first.Node());
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");
    EXPECT_EQ(Window().Timer.Interval(), 250);
    // The lost device's handles are closed, not merely dead.
    EXPECT_EQ(OpenHidrawNodes(), Connection(first.Node()));

    // Plugged back, it waits: the open device answers, so there is no rescan.
    second.PlugBack();
    first.SendInputReport();
    Tick();
    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-FIRST"});
    EXPECT_EQ(Window().Timer.Interval(), 500);

    // Until the open one goes: then it is found under its new node.
    first.Unplug();
    Tick();
    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-SECOND"});
    EXPECT_EQ(State().PathName, second.Node());
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 8");
    EXPECT_EQ(OpenHidrawNodes(), Connection(second.Node()));
    EXPECT_TRUE(first.FeatureWrites().empty());
    EXPECT_TRUE(second.FeatureWrites().empty());
}

TEST_F(WindowOnRealDevices, TheOnlyDeviceUnpluggedEmptiesTheWindowThenComesBackAtTheNextTick) {
    GuestDevice only(Divider("MV-ONLY", 2));
    Start();
    only.SendInputReport();
    Tick();
    ASSERT_EQ(Window().Timer.Interval(), 500);

    only.Unplug();
    Tick();

    EXPECT_FALSE(State().DeviceFound);
    EXPECT_TRUE(Items(Window().SerNo).empty());
    EXPECT_EQ(Window().lblProduct.Caption(), "");
    EXPECT_TRUE(Items(Window().Enc1).empty());
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_EQ(Window().Timer.Interval(), 250);
    EXPECT_TRUE(OpenHidrawNodes().empty());
    Tick();
    EXPECT_FALSE(State().DeviceFound);

    only.PlugBack();
    Tick();

    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-ONLY"});
    EXPECT_EQ(State().PathName, only.Node());
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    EXPECT_EQ(OpenHidrawNodes(), Connection(only.Node()));
    only.SendInputReport();
    Tick(); // the first probe of the new connection
    EXPECT_EQ(Window().Timer.Interval(), 500);
    EXPECT_TRUE(only.FeatureWrites().empty());
}

TEST_F(WindowOnRealDevices, WaitingAmongKeyboardsEachDividerPluggedIsFoundAtTheNextTick) {
    // The host answers the window's questions from its last enumeration
    // while no hidraw node changes: a plug, an unplug and a node number
    // reused must each show at the next tick, with the device's own identity.
    GuestDevice keyboards[] = {GuestDevice(Keyboard()), GuestDevice(Keyboard()),
                               GuestDevice(Keyboard())};
    Start();
    Tick();
    ASSERT_FALSE(State().DeviceFound);

    GuestDevice first(Divider("MV-FIRST", 1));
    Tick();
    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-FIRST"});
    EXPECT_EQ(State().PathName, first.Node());
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");

    first.Unplug();
    Tick();
    EXPECT_FALSE(State().DeviceFound);
    EXPECT_TRUE(Items(Window().SerNo).empty());
    EXPECT_TRUE(OpenHidrawNodes().empty());

    GuestDevice second(Divider("MV-SECOND", 3));
    ASSERT_EQ(second.Node(), first.Node()) << "the kernel gave the node number another time";
    Tick();
    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-SECOND"});
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 8");
    EXPECT_EQ(OpenHidrawNodes(), Connection(second.Node()));
    for (GuestDevice& keyboard : keyboards)
        EXPECT_TRUE(keyboard.FeatureWrites().empty());
}

TEST_F(WindowOnRealDevices, ADeviceThatSendsNoInputReportsIsClosedAndReopenedEveryTick) {
    DeviceSetup setup = Divider("MV-QUIET", 2);
    setup.streams = false;
    GuestDevice quiet(setup);
    Start();

    for (int tick = 0; tick < 3; ++tick) {
        SCOPED_TRACE(tick);
        const HANDLE before = State().FeatureHandle;
        const int reads = quiet.FeatureReads();
        {
            const StuckReadRescue rescue(quiet);
            Tick();
        }
        EXPECT_TRUE(State().DeviceFound);
        EXPECT_NE(State().FeatureHandle, before) << "the probe waited for a report";
        EXPECT_EQ(Window().Timer.Interval(), 250);
        EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
        EXPECT_EQ(quiet.FeatureReads(), reads + 1); // the mode read afresh
        EXPECT_EQ(OpenHidrawNodes(), Connection(quiet.Node()));
    }
    EXPECT_TRUE(quiet.FeatureWrites().empty());
}

TEST_F(WindowOnRealDevices, ADeviceThatFallsSilentIsLostOnlyOnceItsQueuedReportsAreUsedUp) {
    // The kernel queues every input report for each open handle (up to 64),
    // and each probe takes one: a device that stops sending still answers
    // as many probes as it has reports waiting.
    DeviceSetup setup = Divider("MV-FADING", 1);
    setup.streams = false;
    GuestDevice fading(setup);
    Start();
    const HANDLE connection = State().FeatureHandle;
    for (int report = 0; report < 3; ++report)
        fading.SendInputReport();

    for (int tick = 0; tick < 3; ++tick) {
        SCOPED_TRACE(tick);
        Tick();
        EXPECT_EQ(State().FeatureHandle, connection);
        EXPECT_EQ(Window().Timer.Interval(), 500);
    }
    {
        const StuckReadRescue rescue(fading);
        Tick();
    }
    EXPECT_NE(State().FeatureHandle, connection) << "the probe waited for a report";
    EXPECT_EQ(Window().Timer.Interval(), 250);
    EXPECT_EQ(OpenHidrawNodes(), Connection(fading.Node()));
}

TEST_F(WindowOnRealDevices, ClosingTheWindowLeavesNoDescriptorOpen) {
    GuestDevice first(Divider("MV-FIRST"));
    GuestDevice second(Divider("MV-SECOND"));
    const std::size_t before = OpenDescriptorCount();
    Start();
    PickSerial(0);
    first.SendInputReport();
    Tick();
    ASSERT_EQ(OpenHidrawNodes(), Connection(first.Node()));

    Close();

    EXPECT_FALSE(Window().Timer.Enabled());
    EXPECT_TRUE(OpenHidrawNodes().empty());
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(WindowOnRealDevices, ClosingTheWindowAfterALossLeavesNoDescriptorOpen) {
    GuestDevice only(Divider("MV-ONLY"));
    const std::size_t before = OpenDescriptorCount();
    Start();
    only.Unplug();
    Tick();

    Close();

    EXPECT_TRUE(OpenHidrawNodes().empty());
    EXPECT_EQ(OpenDescriptorCount(), before);
}

} // namespace
} // namespace merovane::guest
