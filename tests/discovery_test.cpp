// Which devices the window lists by serial number, and which one it opens.
#include "support/window_scenario.h"

namespace merovane::test {
namespace {

using Discovery = WindowScenario;
using Strings = std::vector<std::string>;

TEST_F(Discovery, NoTargetDeviceLeavesAnEmptyDisabledListAndNothingOpen) {
    Plug(Keyboard());
    Start();

    EXPECT_TRUE(Items(Window().SerNo).empty());
    EXPECT_EQ(Window().SerNo.Text(), "");
    EXPECT_FALSE(Window().SerNo.Enabled());
    EXPECT_FALSE(State().DeviceFound);
    // The keyboard was opened to read its IDs and closed again.
    EXPECT_GE(host.Ledger().opens.size(), 1u);
    EXPECT_TRUE(OpenPaths().empty());
    ExpectHostClean();
}

TEST_F(Discovery, OneDeviceIsListedSelectedAndOpenedWhileTheListStaysDisabled) {
    Plug(Keyboard());
    Plug(Divider(u"A100"));
    Start();

    EXPECT_EQ(Items(Window().SerNo), Strings{"A100"});
    EXPECT_EQ(Window().SerNo.ListIndex(), 0);
    EXPECT_FALSE(Window().SerNo.Enabled());
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(State().PathName, host.Device(2).interfaces[0]);
    ExpectHostClean();
}

TEST_F(Discovery, ThreeDevicesAreListedInEnumerationOrderAndTheLastIsOpened) {
    Plug(Divider(u"C3"));
    Plug(Keyboard());
    Plug(Divider(u"A1"));
    const auto last = Plug(Divider(u"B2"));
    Start();

    EXPECT_EQ(Items(Window().SerNo), (Strings{"C3", "A1", "B2"}));
    EXPECT_EQ(Window().SerNo.Text(), "B2");
    EXPECT_TRUE(Window().SerNo.Enabled());
    EXPECT_EQ(OpenPaths(), (std::multiset<std::string>{host.Device(last).interfaces[0],
                                                       host.Device(last).interfaces[0]}));
    ExpectHostClean();
}

TEST_F(Discovery, TwoInterfacesWithOneSerialAreListedTwiceAndTheFirstIsOpened) {
    VirtualDevice twoInterfaces = Divider(u"DUAL");
    twoInterfaces.interfaces = {"hid:dual/0", "hid:dual/1"};
    Plug(twoInterfaces);
    Start();

    EXPECT_EQ(Items(Window().SerNo), (Strings{"DUAL", "DUAL"}));
    EXPECT_EQ(Window().SerNo.ListIndex(), 1);
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(State().PathName, "hid:dual/0");
    EXPECT_EQ(OpenPaths(), (std::multiset<std::string>{"hid:dual/0", "hid:dual/0"}));

    // Whichever item is picked, the search stops at the first match.
    PickSerial(0);
    EXPECT_EQ(OpenPaths(), (std::multiset<std::string>{"hid:dual/0", "hid:dual/0"}));
    ExpectHostClean();
}

TEST_F(Discovery, SerialTextsAreCutAsTheDeviceStringRuleSays) {
    const std::u16string sixty(60, u'7');
    Plug(Divider(u""));
    Plug(Divider(sixty));
    Plug(Divider(u"AB\u0100CD"));
    Plug(Divider(u"Z\u0141Y")); // a unit above U+00FF shows as its low byte
    Start();

    EXPECT_EQ(Items(Window().SerNo),
              (Strings{"", std::string(50, '7'), "AB", std::string("Z\x41Y")}));
}

TEST_F(Discovery, AnEmptySerialIsFoundWhenTheListShowsAnEmptyText) {
    Plug(Divider(u""));
    Start();

    EXPECT_EQ(Items(Window().SerNo), Strings{""});
    EXPECT_TRUE(State().DeviceFound);
    ExpectHostClean();
}

TEST_F(Discovery, SerialsThatDifferOnlyInCaseDoNotMatch) {
    Plug(Divider(u"abc"));
    const auto upper = Plug(Divider(u"ABC"));
    Start();

    // "ABC" is selected; a search that ignored case would stop at "abc".
    EXPECT_EQ(Window().SerNo.Text(), "ABC");
    EXPECT_EQ(State().PathName, host.Device(upper).interfaces[0]);
    EXPECT_EQ(OpenPaths().count(host.Device(upper).interfaces[0]), 2u);
    ExpectHostClean();
}

TEST_F(Discovery, AnInterfaceThatCannotBeOpenedIsPassedOver) {
    VirtualDevice held = Keyboard();
    held.openError = ERROR_SHARING_VIOLATION;
    Plug(held);
    VirtualDevice busyDivider = Divider(u"BUSY");
    busyDivider.openError = ERROR_ACCESS_DENIED;
    Plug(busyDivider);
    Plug(Divider(u"FREE"));
    Start();

    EXPECT_EQ(Items(Window().SerNo), Strings{"FREE"});
    EXPECT_TRUE(State().DeviceFound);
    ExpectHostClean();
}

// Windows holds keyboards and mice for itself; another program may hold a
// divider. Discovery examines such a collection through access 0, and a
// divider gets read and write access where it grants them.
TEST_F(Discovery, CollectionsThatRefuseReadAndWriteAreExaminedThroughAccess0) {
    const auto divider = Plug(Divider(u"FIRST"));
    const auto keyboard = Plug(SystemKeyboard());
    Start();

    EXPECT_EQ(Items(Window().SerNo), Strings{"FIRST"});
    EXPECT_EQ(State().PathName, host.Device(divider).interfaces[0]);
    const std::string& keyboardPath = host.Device(keyboard).interfaces[0];
    bool keyboardExamined = false;
    for (const DeviceHandleRecord& open : host.Ledger().opens) {
        if (open.path == keyboardPath)
            keyboardExamined = open.access == 0;
        else
            EXPECT_EQ(open.access, GENERIC_READ | GENERIC_WRITE);
    }
    EXPECT_TRUE(keyboardExamined);
    EXPECT_EQ(OpenPaths().count(keyboardPath), 0u);
}

TEST_F(Discovery, ADividerThatGrantsOnlyAccess0IsListedShownAndSet) {
    VirtualDevice held = Divider(u"HELD", 1);
    held.grantsReadWrite = false;
    const auto id = Plug(held);
    Start();

    EXPECT_EQ(Items(Window().SerNo), Strings{"HELD"});
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(Window().lblManuf.Caption(), " ACME");
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");
    PickMode(2);
    ASSERT_EQ(host.Ledger().featureWrites.size(), 1u);
    EXPECT_TRUE(host.Ledger().featureWrites.back().delivered);
    EXPECT_EQ(host.Device(id).mode, 2);
    // Its input reports cannot be read, so each tick reopens it, as it does a
    // divider that sends none; what the window shows stays.
    Tick();
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
}

TEST_F(Discovery, ASearchThatFindsNothingLeavesNoHandleOpen) {
    Plug(Keyboard());
    const auto gone = Plug(Divider(u"GONE"));
    Plug(Divider(u"STAYS"));
    Start();
    PickSerial(0); // "GONE" is open now
    ASSERT_EQ(State().PathName, host.Device(gone).interfaces[0]);

    host.Unplug(gone);
    PickSerial(0); // the list still shows "GONE"

    EXPECT_FALSE(State().DeviceFound);
    EXPECT_TRUE(OpenPaths().empty());
    ExpectHostClean();
}

TEST_F(Discovery, AHostReportingADetailSizeTooSmallForItsSizeFieldIsPassedOver) {
    for (DWORD reported : {0u, 3u}) {
        VirtualDevice odd = Divider(u"ODD");
        odd.reportedDetailSize = reported;
        host.Plug(odd);
    }
    const auto good = Plug(Divider(u"GOOD"));
    Start();

    EXPECT_EQ(Items(Window().SerNo), Strings{"GOOD"});
    EXPECT_EQ(State().PathName, host.Device(good).interfaces[0]);
    ExpectHostClean();
}

} // namespace
} // namespace merovane::test
