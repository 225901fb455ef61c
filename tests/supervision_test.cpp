// The timer's watch: the probe, the loss, the rescan and the return.
#include "support/window_scenario.h"

namespace merovane::test {
namespace {

using Supervision = WindowScenario;
using Strings = std::vector<std::string>;

TEST_F(Supervision, AGoodProbeChangesNothingButThePace) {
    Plug(Divider(u"A", 1));
    Plug(Divider(u"B", 2));
    Start();
    PickMode(3);
    const auto writes = host.Ledger().featureWrites.size();
    const std::uint64_t scans = host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA);
    const HANDLE feature = State().FeatureHandle;

    Tick();
    Tick();

    EXPECT_EQ(Window().Timer.Interval(), 500);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 8");
    EXPECT_EQ(Window().SerNo.Text(), "B");
    EXPECT_EQ(State().FeatureHandle, feature);
    EXPECT_EQ(host.Ledger().featureWrites.size(), writes);
    EXPECT_EQ(host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA), scans);
    // Each probe read asked for the device's input-report length.
    EXPECT_EQ(host.Ledger().reads.back().length, 65u);
    ExpectHostClean();
}

TEST_F(Supervision, TheOnlyDeviceUnpluggedEmptiesTheWindowThenComesBackAtTheNextTick) {
    const auto id = Plug(Divider(u"ONLY", 2));
    Start();
    Tick();
    ASSERT_EQ(Window().Timer.Interval(), 500);

    host.Unplug(id);
    Tick();
    EXPECT_FALSE(State().DeviceFound);
    EXPECT_TRUE(Items(Window().SerNo).empty());
    EXPECT_FALSE(TakesInput(Window().SerNo));
    EXPECT_EQ(Window().lblManuf.Caption(), "");
    EXPECT_EQ(Window().lblProduct.Caption(), "");
    EXPECT_EQ(Window().lblVersion.Caption(), "");
    EXPECT_TRUE(Items(Window().Enc1).empty());
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_EQ(Window().Timer.Interval(), 250);
    Tick();
    EXPECT_EQ(Window().Timer.Interval(), 250);
    ExpectHostClean();

    host.PlugBack(id);
    host.Device(id).mode = 1;
    Tick(); // found and opened, its mode read afresh
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(Items(Window().SerNo), Strings{"ONLY"});
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");
    EXPECT_EQ(Window().Timer.Interval(), 250);
    Tick(); // the first probe of the new connection
    EXPECT_EQ(Window().Timer.Interval(), 500);
    EXPECT_TRUE(host.Ledger().featureWrites.empty());
    ExpectHostClean();
}

TEST_F(Supervision, WithNoDeviceAtStartThePaceStays50MsUntilOneIsProbed) {
    Start();
    Tick();
    Tick();
    EXPECT_EQ(Window().Timer.Interval(), 50);

    Plug(Divider(u"LATE"));
    Tick();
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(Window().Timer.Interval(), 50);
    Tick();
    EXPECT_EQ(Window().Timer.Interval(), 500);
    ExpectHostClean();
}

TEST_F(Supervision, ADeviceThatSendsNoInputReportsIsClosedAndReopenedEveryTick) {
    VirtualDevice quiet = Divider(u"QUIET", 2);
    quiet.streams = false;
    Plug(quiet);
    Start();

    for (int tick = 0; tick < 5; ++tick) {
        const HANDLE before = State().FeatureHandle;
        Tick();
        EXPECT_TRUE(State().DeviceFound);
        EXPECT_NE(State().FeatureHandle, before);
        EXPECT_EQ(Window().Timer.Interval(), 250);
        EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
        EXPECT_EQ(OpenPaths().size(), 2u);
        ExpectHostClean();
    }
    EXPECT_TRUE(host.Ledger().featureWrites.empty());
}

TEST_F(Supervision, WhenThePickedDeviceIsLostTheLastListedIsOpened) {
    const auto first = Plug(Divider(u"FIRST"));
    Plug(Divider(u"SECOND"));
    const auto third = Plug(Divider(u"THIRD"));
    Start();
    PickSerial(0);
    ASSERT_EQ(State().PathName, host.Device(first).interfaces[0]);

    host.Unplug(first);
    Tick();

    EXPECT_EQ(Items(Window().SerNo), (Strings{"SECOND", "THIRD"}));
    EXPECT_EQ(Window().SerNo.Text(), "THIRD");
    EXPECT_EQ(State().PathName, host.Device(third).interfaces[0]);
    EXPECT_EQ(Window().Timer.Interval(), 250);
    ExpectHostClean();
}

TEST_F(Supervision, AnInputReportLongerThan65BytesGetsABufferOfItsOwnLength) {
    VirtualDevice wide = Divider(u"WIDE");
    wide.inputReportLength = 300;
    Plug(wide);
    Start();

    Tick();

    EXPECT_EQ(host.Ledger().reads.back().length, 300u);
    EXPECT_TRUE(host.Ledger().reads.back().delivered);
    EXPECT_EQ(Window().Timer.Interval(), 500);
    ExpectHostClean();
}

TEST_F(Supervision, TheProbeNeverWaitsOnTheDevice) {
    VirtualDevice quiet = Divider(u"QUIET");
    quiet.streams = false;
    Plug(quiet);
    Start();
    Tick();
    Tick();
    // The probe reads on the overlapped handle only, which never waits.
    for (const ReadRecord& read : host.Ledger().reads) {
        const auto open = std::find_if(
            host.Ledger().opens.begin(), host.Ledger().opens.end(),
            [&](const DeviceHandleRecord& record) { return record.handle == read.handle; });
        ASSERT_NE(open, host.Ledger().opens.end());
        EXPECT_TRUE(open->overlapped);
    }
    EXPECT_GE(host.Ledger().reads.size(), 2u);
    ExpectHostClean();
}

TEST_F(Supervision, ARemovalTheSystemAsksForClosesTheDeviceKeepingItsSelectionUntilSettled) {
    const auto a = Plug(Divider(u"A", 1));
    Plug(Divider(u"B", 2));
    Start();
    PickSerial(0);

    // Device Manager disables A: the window lets it go, and opens nothing.
    Window().DeviceRemovalRequested();
    EXPECT_FALSE(State().DeviceFound);
    EXPECT_TRUE(OpenPaths().empty());
    EXPECT_EQ(Items(Window().SerNo), (Strings{"A", "B"}));
    EXPECT_EQ(Window().SerNo.Text(), "A");
    EXPECT_EQ(Window().lblProduct.Caption(), "");
    EXPECT_FALSE(Window().Timer.Enabled());
    ExpectHostClean();

    // Another program refused it: A, not the last listed, is open again.
    Window().DeviceRemovalSettled();
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(State().PathName, host.Device(a).interfaces[0]);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");
    EXPECT_TRUE(Window().Timer.Enabled());
    ExpectHostClean();

    // Asked again and done: A is gone as if unplugged, and the next tick
    // opens B.
    Window().DeviceRemovalRequested();
    host.Unplug(a);
    Window().DeviceRemovalSettled();
    EXPECT_FALSE(State().DeviceFound);
    Tick();
    EXPECT_EQ(Items(Window().SerNo), Strings{"B"});
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    ExpectHostClean();
}

} // namespace
} // namespace merovane::test
