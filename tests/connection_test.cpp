// The connection: two handles on the selected device's path, its report
// lengths, the probe's event, and the close.
#include "support/window_scenario.h"

namespace merovane::test {
namespace {

using Connection = WindowScenario;

TEST_F(Connection, OpensTheFoundDeviceTwiceOnOnePathTheSecondTimeOverlapped) {
    VirtualDevice device = Divider(u"S1");
    device.inputReportLength = 33;
    device.featureReportLength = 9;
    Plug(device);
    Start();

    ASSERT_TRUE(State().DeviceFound);
    const auto& open = host.Ledger().openNow;
    ASSERT_EQ(open.count(State().FeatureHandle), 1u);
    ASSERT_EQ(open.count(State().InputHandle), 1u);
    EXPECT_FALSE(open.at(State().FeatureHandle).overlapped);
    EXPECT_TRUE(open.at(State().InputHandle).overlapped);
    EXPECT_EQ(open.at(State().InputHandle).path, open.at(State().FeatureHandle).path);
    EXPECT_EQ(State().Caps.InputReportByteLength, 33);
    EXPECT_EQ(State().Caps.FeatureReportByteLength, 9);
    EXPECT_EQ(State().ReadOverlap.hEvent, State().ReadEvent);
    EXPECT_EQ(State().SecAttr.nLength, 12u);
    EXPECT_EQ(State().SecAttr.bInheritHandle, 1);
    ExpectHostClean();
}

TEST_F(Connection, TheReadEventIsMadeOnceForTheWholeLifeOfTheWindow) {
    Plug(Divider(u"S1"));
    const auto second = Plug(Divider(u"S2"));
    Start();
    const HANDLE event = State().ReadEvent;
    ASSERT_NE(event, NO_HANDLE);

    PickSerial(0); // another serial: close, open anew
    PickSerial(0); // the open serial: close and reopen
    host.Unplug(second);
    Tick(); // the probe passes; nothing happens
    host.Device(1).streams = false;
    Tick(); // lost: closed, rescanned, reopened
    host.Device(1).streams = true;
    Tick();

    EXPECT_EQ(host.Ledger().eventsCreated, 1u);
    EXPECT_EQ(State().ReadEvent, event);
    EXPECT_EQ(State().ReadOverlap.hEvent, event);
    EXPECT_EQ(State().ReadOverlap.Offset, 0u);
    EXPECT_EQ(State().ReadOverlap.OffsetHigh, 0u);
    ExpectHostClean();
}

TEST_F(Connection, CloseShutsTheFeatureHandleFirstAndKeepsTheReportLengths) {
    VirtualDevice device = Divider(u"S1");
    device.inputReportLength = 17;
    device.featureReportLength = 5;
    const auto id = Plug(device);
    Start();
    const HANDLE feature = State().FeatureHandle;
    const HANDLE input = State().InputHandle;

    host.Unplug(id);
    Tick(); // the probe fails: the connection closes; nothing is found

    ASSERT_FALSE(State().DeviceFound);
    const auto& closes = host.Ledger().closes;
    const auto first = std::find(closes.begin(), closes.end(), feature);
    const auto second = std::find(closes.begin(), closes.end(), input);
    ASSERT_NE(first, closes.end());
    ASSERT_NE(second, closes.end());
    EXPECT_LT(first, second);
    EXPECT_EQ(State().Caps.InputReportByteLength, 17);
    EXPECT_EQ(State().Caps.FeatureReportByteLength, 5);
    ExpectHostClean();
}

TEST_F(Connection, AFailedOverlappedOpenCountsAsOpenUntilTheFirstProbe) {
    VirtualDevice device = Divider(u"S1", 1);
    device.opensOverlapped = false;
    const auto id = Plug(device);
    Start();

    // Open on one handle only: the strings, read through the missing one, stay empty.
    ASSERT_TRUE(State().DeviceFound);
    EXPECT_EQ(State().InputHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Window().lblManuf.Caption(), "");
    EXPECT_EQ(Window().lblProduct.Caption(), "");
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");
    ExpectHostClean();

    // Each probe fails, closes what is open and opens the device again.
    Tick();
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(Window().Timer.Interval(), 250);
    EXPECT_EQ(OpenPaths().size(), 1u);
    ExpectHostClean();

    host.Device(id).opensOverlapped = true;
    Tick(); // still the one-handle connection: closed, then opened fully
    Tick(); // a good probe
    EXPECT_EQ(Window().Timer.Interval(), 500);
    EXPECT_EQ(Window().lblManuf.Caption(), " ACME");
    EXPECT_EQ(OpenPaths().size(), 2u);
    ExpectHostClean();
}

TEST_F(Connection, AReportDescriptionThatCannotBeReadLeavesNoLengthsAndNoStrayCalls) {
    VirtualDevice device = Divider(u"S1", 2);
    device.describes = false;
    Plug(device);
    Start();

    ASSERT_TRUE(State().DeviceFound);
    EXPECT_EQ(State().Caps.InputReportByteLength, 0);
    EXPECT_EQ(State().Caps.FeatureReportByteLength, 0);
    // No preparsed data was returned, so none was queried or freed.
    EXPECT_EQ(host.Ledger().Calls(HostOperation::HidP_GetCaps), 0u);
    EXPECT_EQ(host.Ledger().Calls(HostOperation::HidD_FreePreparsedData), 0u);
    // Without a feature length the mode is not read and nothing can be written.
    EXPECT_EQ(Window().Enc1.ListIndex(), -1);
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_EQ(host.Ledger().Calls(HostOperation::HidD_GetFeature), 0u);
    ExpectHostClean();
}

} // namespace
} // namespace merovane::test
