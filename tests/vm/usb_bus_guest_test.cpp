// A divider on the guest's virtual USB bus, driven by the kernel's usbhid:
// what a uhid device cannot show (the manufacturer string, the release
// number) and how usbhid carries feature reports of a device without report
// IDs (no ID byte on the bus).
#include "device/feature_protocol.h"
#include "device/version_text.h"
#include "support/guest_window.h"

namespace merovane::guest {
namespace {

using Strings = std::vector<std::string>;

class OnAUsbBus : public GuestWindowScenario {
protected:
    void SetUp() override { MEROVANE_NEEDS_DEVICES(); }
};

TEST_F(OnAUsbBus, TheHostReadsTheManufacturerAndReleaseNumberAndTheBusCarriesNoReportId) {
    GuestDevice device(UsbDivider("MV-USB1", 2));
    SECURITY_ATTRIBUTES security{12, 0, 1};
    const HANDLE handle = host.CreateFileA(device.Node().c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                                           OPEN_EXISTING, 0, NO_HANDLE);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << host.LastError();

    HIDD_ATTRIBUTES attributes;
    attributes.Size = 12;
    ASSERT_NE(host.HidD_GetAttributes(handle, attributes), 0) << host.LastError();
    EXPECT_EQ(attributes.VendorID, 0x4F3A);
    EXPECT_EQ(attributes.ProductID, 0x2B16);
    EXPECT_EQ(attributes.VersionNumber, 0x0123);

    std::vector<BYTE> text(64, 0xEE);
    ASSERT_NE(host.HidD_GetManufacturerString(handle, text.data(), 42), 0) << host.LastError();
    const std::u16string manufacturer = u"Merovane Instruments";
    for (std::size_t i = 0; i < manufacturer.size(); ++i)
        EXPECT_EQ(text[2 * i] | text[2 * i + 1] << 8, manufacturer[i]) << i;
    EXPECT_EQ(text[40], 0);
    EXPECT_EQ(text[41], 0);
    EXPECT_EQ(text[42], 0xEE);

    HANDLE preparsed = NO_HANDLE;
    HIDP_CAPS caps;
    ASSERT_NE(host.HidD_GetPreparsedData(handle, preparsed), 0) << host.LastError();
    ASSERT_NE(host.HidP_GetCaps(preparsed, caps), 0);
    EXPECT_NE(host.HidD_FreePreparsedData(preparsed), 0);
    EXPECT_EQ(caps.InputReportByteLength, 65);
    EXPECT_EQ(caps.FeatureReportByteLength, 3);

    // usbhid puts the report ID first in what it reads ...
    std::vector<BYTE> report(3, 0xEE);
    report[0] = FeatureReportId;
    ASSERT_NE(host.HidD_GetFeature(handle, report.data(), 3), 0) << host.LastError();
    EXPECT_EQ(report, (std::vector<BYTE>{0, 2, 0}));
    // ... and leaves it out of what it sends: the device gets the two bytes after it.
    const auto set = CommandReport(3, Command::SetOutputMode, 1);
    ASSERT_NE(host.HidD_SetFeature(handle, set->data(), 3), 0) << host.LastError();
    EXPECT_EQ(device.FeatureWritesOnceThereAre(1), (std::vector<Bytes>{{1, 1}}));
    EXPECT_NE(host.CloseHandle(handle), 0);
}

TEST_F(OnAUsbBus, TheWindowShowsTheManufacturerAndVersionAndWritesThePickedMode) {
    GuestDevice device(UsbDivider("MV-USB2", 3));

    Start();

    EXPECT_EQ(Items(Window().SerNo), Strings{"MV-USB2"});
    EXPECT_EQ(Window().lblManuf.Caption(), " Merovane Instruments");
    EXPECT_EQ(Window().lblProduct.Caption(), " Clock Divider");
    EXPECT_EQ(Window().lblVersion.Caption(), VersionText(0x0123));
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 8");
    EXPECT_EQ(OpenHidrawNodes(), Connection(device.Node()));

    PickMode(1);
    PressCommand1();

    EXPECT_EQ(device.FeatureWritesOnceThereAre(2), (std::vector<Bytes>{{1, 1}, {2, 99}}));
    Close();
    EXPECT_TRUE(OpenHidrawNodes().empty());
}

} // namespace
} // namespace merovane::guest
