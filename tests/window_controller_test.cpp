// Start, serial picks and close: the window's handlers and the flags that
// keep them safe against each other.
#include "support/window_scenario.h"

namespace merovane::test {
namespace {

using Controller = WindowScenario;
using Strings = std::vector<std::string>;

TEST_F(Controller, StartingWithNoDeviceShowsAnEmptyWindowAndRescansEvery50Ms) {
    Plug(Keyboard());
    Start();

    EXPECT_TRUE(User().Visible());
    EXPECT_TRUE(Items(Window().SerNo).empty());
    EXPECT_FALSE(TakesInput(Window().SerNo));
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_FALSE(Window().Frame1.Enabled());
    EXPECT_EQ(Window().lblManuf.Caption(), "");
    EXPECT_TRUE(Window().Timer.Enabled());
    EXPECT_EQ(Window().Timer.Interval(), 50);

    const auto scansBefore = host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA);
    Tick();
    Tick();
    // Each tick scans and searches: two enumerations.
    EXPECT_EQ(host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA), scansBefore + 4);
    EXPECT_EQ(Window().Timer.Interval(), 50);
    ExpectHostClean();
}

TEST_F(Controller, StartingWithTwoDevicesOpensTheLastListedAndEnablesTheList) {
    Plug(Divider(u"FIRST", 0));
    const auto second = Plug(Divider(u"SECOND", 3));
    Start();

    EXPECT_EQ(Items(Window().SerNo), (Strings{"FIRST", "SECOND"}));
    EXPECT_EQ(Window().SerNo.Text(), "SECOND");
    EXPECT_TRUE(TakesInput(Window().SerNo));
    EXPECT_EQ(State().PathName, host.Device(second).interfaces[0]);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 8");
    EXPECT_TRUE(host.Ledger().featureWrites.empty());
    ExpectHostClean();
}

TEST_F(Controller, PickingAnotherSerialReconnectsWithoutRescanning) {
    const auto first = Plug(Divider(u"FIRST", 1));
    Plug(Divider(u"SECOND", 3));
    Start();
    const auto scans = host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA);

    PickSerial(0);

    EXPECT_EQ(State().PathName, host.Device(first).interfaces[0]);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");
    EXPECT_EQ(Window().SerNo.Text(), "FIRST");
    // One search, no scan.
    EXPECT_EQ(host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA), scans + 1);
    EXPECT_EQ(Window().Timer.Interval(), 250);
    EXPECT_TRUE(Window().Timer.Enabled());
    EXPECT_TRUE(host.Ledger().featureWrites.empty());
    ExpectHostClean();
}

TEST_F(Controller, PickingTheOpenSerialClosesAndReopensTheSameDevice) {
    Plug(Divider(u"FIRST"));
    const auto second = Plug(Divider(u"SECOND", 2));
    Start();
    const HANDLE oldFeature = State().FeatureHandle;
    const HANDLE oldInput = State().InputHandle;

    PickSerial(1);

    const auto& closes = host.Ledger().closes;
    EXPECT_NE(std::find(closes.begin(), closes.end(), oldFeature), closes.end());
    EXPECT_NE(std::find(closes.begin(), closes.end(), oldInput), closes.end());
    EXPECT_NE(State().FeatureHandle, oldFeature);
    EXPECT_EQ(OpenPaths(), (std::multiset<std::string>{host.Device(second).interfaces[0],
                                                       host.Device(second).interfaces[0]}));
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    ExpectHostClean();
}

TEST_F(Controller, PickingASerialUnpluggedSinceTheScanLeavesNoDeviceUntilTheNextTick) {
    const auto first = Plug(Divider(u"FIRST"));
    const auto second = Plug(Divider(u"SECOND"));
    Start();
    host.Unplug(first);

    PickSerial(0);
    EXPECT_FALSE(State().DeviceFound);
    EXPECT_EQ(Window().lblManuf.Caption(), "");
    EXPECT_TRUE(Items(Window().Enc1).empty());
    EXPECT_EQ(Items(Window().SerNo), (Strings{"FIRST", "SECOND"}));
    ExpectHostClean();

    Tick(); // rescans: the one left is listed and opened
    EXPECT_EQ(Items(Window().SerNo), Strings{"SECOND"});
    EXPECT_EQ(State().PathName, host.Device(second).interfaces[0]);
    EXPECT_TRUE(State().DeviceFound);
    ExpectHostClean();
}

TEST_F(Controller, APickLeavesADividerThatDidNotAnswerAsSoonAsTheHostCanOpen) {
    const auto good = Plug(Divider(u"GOOD", 1));
    VirtualDevice stuck = Divider(u"STUCK");
    stuck.answersFeatures = false;
    Plug(stuck);
    Start();
    ASSERT_FALSE(State().ModeKnown); // the stuck divider, listed last, is open
    // Its request is still in the system, which opens nothing until it ends.
    host.HoldOpens(true);

    PickSerial(0);

    // The stuck divider is closed and the pick kept, shown empty.
    EXPECT_FALSE(State().DeviceFound);
    EXPECT_EQ(Window().SerNo.Text(), "GOOD");
    EXPECT_EQ(Window().lblManuf.Caption(), "");
    const auto scans = host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA);
    Tick(); // still held: the same serial is looked for, no rescan
    EXPECT_EQ(host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA), scans + 1);
    EXPECT_EQ(Window().SerNo.Text(), "GOOD");
    ExpectHostClean();

    host.HoldOpens(false);
    Tick();
    EXPECT_EQ(State().PathName, host.Device(good).interfaces[0]);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");
    PickMode(3);
    EXPECT_EQ(WrittenReports(), (std::vector<std::vector<BYTE>>{{0, 1, 3}}));
    ExpectHostClean();
}

TEST_F(Controller, ClosingTheWindowClosesEachOpenHandleOnce) {
    Plug(Divider(u"ONLY"));
    Start();
    const HANDLE feature = State().FeatureHandle;
    const HANDLE input = State().InputHandle;

    Close();

    EXPECT_FALSE(Window().Timer.Enabled());
    EXPECT_FALSE(State().ModeKnown);
    EXPECT_TRUE(host.Ledger().openNow.empty());
    const auto& closes = host.Ledger().closes;
    ASSERT_GE(closes.size(), 2u);
    EXPECT_EQ(closes[closes.size() - 2], feature);
    EXPECT_EQ(closes.back(), input);
    ExpectHostClean();
}

TEST_F(Controller, ClosingTheWindowAfterALossClosesNothingTwice) {
    const auto id = Plug(Divider(u"ONLY"));
    Start();
    host.Unplug(id);
    Tick();
    const auto closes = host.Ledger().closes.size();

    Close();

    EXPECT_EQ(host.Ledger().closes.size(), closes);
    EXPECT_TRUE(host.Ledger().violations.empty());
    ExpectHostClean();
}

} // namespace
} // namespace merovane::test
