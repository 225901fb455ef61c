// What the device receives when the user picks a mode or presses Command1.
#include "support/window_scenario.h"

namespace merovane::test {
namespace {

using FeatureReports = WindowScenario;
using Bytes = std::vector<BYTE>;
using Reports = std::vector<Bytes>;

TEST_F(FeatureReports, EachModePickWritesItsCodeInAReportOfTheDevicesLength) {
    VirtualDevice device = Divider(u"F1", 3);
    device.featureReportLength = 8;
    const auto id = Plug(device);
    Start();
    ASSERT_TRUE(host.Ledger().featureWrites.empty()) << "the refresh echoed the mode";

    for (int mode : {0, 1, 2, 3})
        PickMode(mode);

    EXPECT_EQ(WrittenReports(), (Reports{{0, 1, 0, 0, 0, 0, 0, 0},
                                         {0, 1, 1, 0, 0, 0, 0, 0},
                                         {0, 1, 2, 0, 0, 0, 0, 0},
                                         {0, 1, 3, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(host.Device(id).mode, 3);
    for (const FeatureWrite& write : host.Ledger().featureWrites)
        EXPECT_EQ(write.handle, State().FeatureHandle);
    ExpectHostClean();
}

TEST_F(FeatureReports, TheKeyboardPicksAModeAndPressesCommand1) {
    Plug(Divider(u"F1", 2));
    Start();

    // Down in the closed mode list picks the next mode, once.
    User().Focus(Control::Enc1);
    User().Type(WindowDriver::Key::Down);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 8");
    // Tab from the mode list: the serial list (disabled with one device) is
    // passed over and the button below the visible area takes the focus.
    User().Type(WindowDriver::Key::Tab);
    ASSERT_EQ(User().Focused(), Control::Command1);
    User().Type(WindowDriver::Key::Space);

    EXPECT_EQ(WrittenReports(), (Reports{{0, 1, 3}, {0, 2, 99}}));
    ExpectHostClean();
}

TEST_F(FeatureReports, NothingIsWrittenWithoutAKnownModeOrBeforeTheDetailsAreShown) {
    VirtualDevice silent = Divider(u"F1");
    silent.featureReadFails = true;
    Plug(silent);
    Start();
    // The mode read failed: the list holds the modes but takes no input, and
    // the button does nothing either.
    ASSERT_FALSE(State().ModeKnown);
    EXPECT_FALSE(TakesInput(Window().Enc1));
    PressCommand1();

    // A refresh selects the device's mode without writing it back.
    host.Device(1).featureReadFails = false;
    host.Device(1).mode = 2;
    Tick(); // good probe: nothing changes
    EXPECT_EQ(Window().Enc1.ListIndex(), -1);
    Window().SerNo.SetListIndex(0); // reconnects and reads the mode
    EXPECT_EQ(Window().Enc1.ListIndex(), 2);

    EXPECT_TRUE(host.Ledger().featureWrites.empty());
    ExpectHostClean();
}

TEST_F(FeatureReports, AReportTooShortForTheLayoutIsNeverWritten) {
    for (USHORT length : {USHORT{2}, USHORT{1}}) {
        SimulatedHost::DeviceId id = 0;
        {
            VirtualDevice device = Divider(u"SHORT", 1);
            device.featureReportLength = length;
            id = Plug(device);
        }
        Start();
        if (length == 2) {
            // Two bytes still carry the mode: it is read and shown.
            ASSERT_EQ(Window().Enc1.Text(), "Divide By 2");
            PickMode(3);
            EXPECT_EQ(Window().Enc1.Text(), "Divide By 2") << "a mode the device never got";
        } else {
            EXPECT_FALSE(TakesInput(Window().Enc1));
        }
        PressCommand1();
        EXPECT_TRUE(host.Ledger().featureWrites.empty());
        ExpectHostClean();
        Close();
        host.Unplug(id);
    }
}

TEST_F(FeatureReports, AWriteTheDeviceRefusesPutsTheListBackToTheDevicesMode) {
    const auto id = Plug(Divider(u"F1", 1));
    Start();
    PickMode(2); // taken
    ASSERT_EQ(host.Device(id).mode, 2);

    host.Device(id).featureWriteFails = true;
    PickMode(3); // refused

    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    // One write per pick: the mend wrote nothing, and nothing was retried.
    ASSERT_EQ(host.Ledger().featureWrites.size(), 2u);
    EXPECT_FALSE(host.Ledger().featureWrites.back().delivered);
    EXPECT_EQ(host.Ledger().featureWrites.back().bytes, (Bytes{0, 1, 3}));
    EXPECT_TRUE(TakesInput(Window().Enc1));

    host.Device(id).featureWriteFails = false;
    PickMode(0);
    EXPECT_EQ(host.Device(id).mode, 0);
    EXPECT_EQ(Window().Enc1.Text(), "Pass Through");
    ExpectHostClean();
}

TEST_F(FeatureReports, AModeCodeAboveTheHighestShowsAsDivideBy8) {
    Plug(Divider(u"F1", 7));
    Start();

    EXPECT_EQ(Window().Enc1.Text(), "Divide By 8");
    EXPECT_EQ(Window().Enc1.ListIndex(), 3);
    EXPECT_TRUE(host.Ledger().featureWrites.empty());
}

} // namespace
} // namespace merovane::test
