// What the two panels show after each connect attempt.
#include "support/window_scenario.h"

namespace merovane::test {
namespace {

using DetailsRefresh = WindowScenario;
using Strings = std::vector<std::string>;
const Strings Modes = {"Pass Through", "Divide By 2", "Divide By 4", "Divide By 8"};

TEST_F(DetailsRefresh, ADeviceShowsItsStringsVersionAndModeWithoutEchoingTheMode) {
    VirtualDevice device = Divider(u"R1", 2);
    device.version = 0x1234;
    Plug(device);
    Start();

    EXPECT_EQ(Window().lblManuf.Caption(), " ACME");
    EXPECT_EQ(Window().lblProduct.Caption(), " Divider");
    EXPECT_EQ(Window().lblVersion.Caption(), " 18.34");
    EXPECT_EQ(Window().lblSerialNumber.Caption(), "");
    EXPECT_EQ(Items(Window().Enc1), Modes);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 4");
    EXPECT_TRUE(TakesInput(Window().Enc1));
    EXPECT_TRUE(Window().Frame1.Enabled());
    EXPECT_TRUE(Window().Frame3.Enabled());
    EXPECT_TRUE(State().DetailsShown);
    EXPECT_TRUE(State().ModeKnown);
    EXPECT_TRUE(host.Ledger().featureWrites.empty());
}

TEST_F(DetailsRefresh, TheVersionShowsOnlyWithTheManufacturer) {
    VirtualDevice device = Divider(u"R1");
    device.manufacturer = std::nullopt;
    Plug(device);
    Start();

    EXPECT_EQ(Window().lblManuf.Caption(), "");
    EXPECT_EQ(Window().lblVersion.Caption(), "");
    EXPECT_EQ(Window().lblProduct.Caption(), " Divider");
    EXPECT_TRUE(Window().Frame1.Enabled());
}

TEST_F(DetailsRefresh, AFailedModeReadFillsTheListButSelectsAndEnablesNothing) {
    VirtualDevice device = Divider(u"R1");
    device.featureReadFails = true;
    Plug(device);
    Start();

    EXPECT_EQ(Window().lblManuf.Caption(), " ACME");
    EXPECT_EQ(Items(Window().Enc1), Modes);
    EXPECT_EQ(Window().Enc1.ListIndex(), -1);
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_FALSE(Window().Frame3.Enabled());
    EXPECT_TRUE(Window().Frame1.Enabled());
    EXPECT_TRUE(State().DetailsShown);
    EXPECT_FALSE(State().ModeKnown);
}

TEST_F(DetailsRefresh, AFeatureReportTooShortForTheModeCountsAsAFailedRead) {
    for (USHORT length : {USHORT{0}, USHORT{1}}) {
        SCOPED_TRACE(length);
        VirtualDevice device = Divider(u"R1", 1);
        device.featureReportLength = length;
        const auto id = Plug(device);
        Start();

        EXPECT_EQ(Items(Window().Enc1), Modes);
        EXPECT_EQ(Window().Enc1.ListIndex(), -1);
        EXPECT_FALSE(TakesInput(Window().Enc1));
        EXPECT_TRUE(State().DetailsShown);
        EXPECT_EQ(host.Ledger().Calls(HostOperation::HidD_GetFeature), 0u);
        Close();
        host.Unplug(id);
    }
}

TEST_F(DetailsRefresh, RefreshingTwiceGivesTheSameWindowNotEightModes) {
    Plug(Divider(u"R1", 1));
    Start();
    Window().RefreshDeviceDetails();
    Window().RefreshDeviceDetails();

    EXPECT_EQ(Items(Window().Enc1), Modes);
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");
    EXPECT_TRUE(host.Ledger().featureWrites.empty());
}

TEST_F(DetailsRefresh, WithoutADeviceItEmptiesThePanelsAndMakesNoPlatformCall) {
    const auto id = Plug(Divider(u"R1", 1));
    Start();
    host.Unplug(id);
    Tick(); // lost: the panels are emptied
    ASSERT_FALSE(State().DeviceFound);
    const std::uint64_t callsBefore = host.Ledger().totalCalls;

    Window().RefreshDeviceDetails();

    EXPECT_EQ(host.Ledger().totalCalls, callsBefore);
    EXPECT_EQ(Window().lblManuf.Caption(), "");
    EXPECT_EQ(Window().lblProduct.Caption(), "");
    EXPECT_EQ(Window().lblVersion.Caption(), "");
    EXPECT_TRUE(Items(Window().Enc1).empty());
    EXPECT_FALSE(Window().Frame3.Enabled());
    // Once enabled by a device, the details frame stays enabled.
    EXPECT_TRUE(Window().Frame1.Enabled());
    EXPECT_FALSE(State().DetailsShown);
}

TEST_F(DetailsRefresh, HostileStringsShowAsPlainTextCutAsTheDeviceStringRuleSays) {
    VirtualDevice device = Divider(u"<i>SER</i>");
    device.manufacturer = u"<b>Evil</b> &amp; <img src=x>";
    device.product = std::u16string(200, u'P');
    device.product->replace(3, 3, u"\t\r\n");
    Plug(device);
    Start();

    EXPECT_EQ(Window().lblManuf.Caption(), " <b>Evil</b> &amp; <img src=x>");
    EXPECT_EQ(User().Text(Control::lblManuf), " <b>Evil</b> &amp; <img src=x>");
    EXPECT_EQ(Window().lblProduct.Caption(), " PPP\t\r\n" + std::string(44, 'P'));
    EXPECT_EQ(Window().SerNo.Text(), "<i>SER</i>");
    EXPECT_TRUE(State().DeviceFound);
}

} // namespace
} // namespace merovane::test
