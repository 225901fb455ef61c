// The hidapi host on real hidraw devices: what it finds, reads and writes,
// and how it fails once a device is gone.
//
// The devices are made through uhid, which gives them no USB parent device.
// hidapi takes the manufacturer string and the release number from that
// parent only, so here they read as "" and 0 whatever the device says; a
// device on a real USB bus shows both.
#include "device/feature_protocol.h"
#include "device/hidapi/hidapi_host.h"
#include "device/hidapi/hidraw_sysfs.h"
#include "support/guest_device.h"
#include "support/guest_process.h"
#include "support/guest_window.h"
#include "support/hex_file.h"

#include <gtest/gtest.h>
#include <set>

namespace merovane::guest {
namespace {

using Units = std::u16string;
constexpr BYTE Untouched = 0xEE;

class HidapiHostOnRealDevices : public ::testing::Test {
protected:
    void SetUp() override { MEROVANE_NEEDS_DEVICES(); }

    // Every interface path a fresh enumeration lists, in its order.
    std::vector<std::string> Enumerate() {
        std::vector<std::string> paths;
        GUID guid;
        host.HidD_GetHidGuid(guid);
        const HANDLE set = host.SetupDiGetClassDevsA(guid, nullptr, NO_HANDLE,
                                                     DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        EXPECT_NE(set, INVALID_HANDLE_VALUE);
        SP_DEVICE_INTERFACE_DATA data;
        data.cbSize = sizeof data;
        for (std::int32_t index = 0;
             host.SetupDiEnumDeviceInterfaces(set, nullptr, guid, index, data) != 0; ++index) {
            DWORD required = 0;
            EXPECT_EQ(
                host.SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &required, nullptr),
                0);
            std::vector<BYTE> detail(required, 0);
            detail[0] = SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE;
            EXPECT_NE(host.SetupDiGetDeviceInterfaceDetailA(set, data, detail.data(), required,
                                                            &required, nullptr),
                      0);
            paths.emplace_back(reinterpret_cast<const char*>(detail.data()) +
                               DETAIL_DATA_PATH_OFFSET);
        }
        EXPECT_NE(host.SetupDiDestroyDeviceInfoList(set), 0);
        return paths;
    }

    // Opens the interface as the window does: synchronous, or overlapped for the probe.
    HANDLE Open(const std::string& path, bool overlapped = false) {
        SECURITY_ATTRIBUTES security{12, 0, 1};
        return host.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &security, OPEN_EXISTING,
                                overlapped ? FILE_FLAG_OVERLAPPED : 0, NO_HANDLE);
    }

    HIDD_ATTRIBUTES Attributes(HANDLE handle) {
        HIDD_ATTRIBUTES attributes;
        attributes.Size = sizeof attributes;
        EXPECT_NE(host.HidD_GetAttributes(handle, attributes), 0) << host.LastError();
        return attributes;
    }

    HIDP_CAPS Caps(HANDLE handle) {
        HIDP_CAPS caps;
        HANDLE preparsed = NO_HANDLE;
        EXPECT_NE(host.HidD_GetPreparsedData(handle, preparsed), 0) << host.LastError();
        EXPECT_NE(host.HidP_GetCaps(preparsed, caps), 0);
        EXPECT_NE(host.HidD_FreePreparsedData(preparsed), 0);
        return caps;
    }

    // A string read into a buffer of `told + 4` bytes, all Untouched at first.
    using StringRead = BOOL (HidHost::*)(HANDLE, void*, DWORD);
    std::vector<BYTE> ReadString(StringRead read, HANDLE handle, DWORD told, BOOL* result) {
        std::vector<BYTE> buffer(told + 4, Untouched);
        *result = (host.*read)(handle, buffer.data(), told);
        return buffer;
    }

    HidapiHost host;
};

// The UTF-16LE bytes of `text`, then `more` bytes as they were.
std::vector<BYTE> Utf16le(const Units& text, std::size_t more = 0) {
    std::vector<BYTE> bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    bytes.insert(bytes.end(), more, Untouched);
    return bytes;
}

TEST_F(HidapiHostOnRealDevices, EnumerationListsEveryHidInterfaceAndTheTwoDividersAreTheTargets) {
    GuestDevice first(Divider("MV-A0001", 1));
    GuestDevice keyboard(Keyboard());
    GuestDevice second(Divider("MV-B0002", 3));

    const std::vector<std::string> paths = Enumerate();

    EXPECT_EQ(std::multiset<std::string>(paths.begin(), paths.end()),
              (std::multiset<std::string>{first.Node(), keyboard.Node(), second.Node()}));
    std::set<std::string> targets;
    for (const std::string& path : paths) {
        const HANDLE handle = Open(path);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << host.LastError();
        const HIDD_ATTRIBUTES attributes = Attributes(handle);
        if (attributes.VendorID == TargetVendorId && attributes.ProductID == TargetProductId)
            targets.insert(path);
        if (path == keyboard.Node()) {
            EXPECT_EQ(attributes.VendorID, 0x046D);
            EXPECT_EQ(attributes.ProductID, 0xC534);
        }
        EXPECT_NE(host.CloseHandle(handle), 0);
    }
    EXPECT_EQ(targets, (std::set<std::string>{first.Node(), second.Node()}));
    EXPECT_TRUE(OpenHidrawNodes().empty());
    // The devices were only looked at.
    EXPECT_TRUE(first.FeatureWrites().empty());
    EXPECT_TRUE(second.FeatureWrites().empty());
}

TEST_F(HidapiHostOnRealDevices, AttributesCarryTheIdsAndNoReleaseNumberWithoutAUsbParent) {
    GuestDevice device(Divider("MV-ATTR"));
    const HANDLE handle = Open(device.Node());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << host.LastError();

    HIDD_ATTRIBUTES attributes;
    attributes.Size = 12;
    ASSERT_NE(host.HidD_GetAttributes(handle, attributes), 0) << host.LastError();

    EXPECT_EQ(attributes.VendorID, 0x4F3A);
    EXPECT_EQ(attributes.ProductID, 0x2B16);
    // The device says 0x0123, but hidapi reads the release number from the USB
    // parent device, which a uhid device lacks.
    EXPECT_EQ(attributes.VersionNumber, 0);

    attributes.Size = 11;
    EXPECT_EQ(host.HidD_GetAttributes(handle, attributes), 0);
    EXPECT_NE(host.CloseHandle(handle), 0);
}

TEST_F(HidapiHostOnRealDevices, TheSerialNumberReadsAsUtf16CutToTheBufferInWholeUnits) {
    GuestDevice device(Divider("MV-7731"));
    const HANDLE handle = Open(device.Node());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << host.LastError();
    const auto read = &HidHost::HidD_GetSerialNumberString;
    BOOL result = 0;

    // Room for the text and its terminator: both, nothing past the length told.
    auto buffer = ReadString(read, handle, 100, &result);
    ASSERT_NE(result, 0) << host.LastError();
    std::vector<BYTE> expected = Utf16le(u"MV-7731");
    expected.insert(expected.end(), {0, 0});
    EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + 16), expected);
    EXPECT_EQ(std::vector<BYTE>(buffer.begin() + 100, buffer.end()),
              std::vector<BYTE>(4, Untouched));

    // Exactly the text: no terminator.
    buffer = ReadString(read, handle, 14, &result);
    ASSERT_NE(result, 0);
    EXPECT_EQ(buffer, Utf16le(u"MV-7731", 4));

    // One byte short of the text: the last unit does not fit and is left out whole.
    buffer = ReadString(read, handle, 13, &result);
    ASSERT_NE(result, 0);
    EXPECT_EQ(buffer, Utf16le(u"MV-773", 5));

    // The product string is the uhid device's name; the manufacturer string
    // comes from a USB parent device, which a uhid device lacks: empty.
    buffer = ReadString(&HidHost::HidD_GetProductString, handle, 100, &result);
    ASSERT_NE(result, 0);
    expected = Utf16le(u"Merovane test divider");
    expected.insert(expected.end(), {0, 0});
    EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + 44), expected);
    buffer = ReadString(&HidHost::HidD_GetManufacturerString, handle, 100, &result);
    ASSERT_NE(result, 0);
    EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + 3),
              (std::vector<BYTE>{0, 0, Untouched}));
    EXPECT_NE(host.CloseHandle(handle), 0);
}

TEST_F(HidapiHostOnRealDevices, ASerialBeyondLatin1ReadsAsItsUtf16UnitsSurrogatesIncluded) {
    // U+03A9, U+20AC and U+1F600 (two UTF-16 units); the device keeps it as UTF-8.
    GuestDevice device(Divider("\xCE\xA9-\xE2\x82\xAC-\xF0\x9F\x98\x80"));
    const HANDLE handle = Open(device.Node());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << host.LastError();

    BOOL result = 0;
    const auto buffer = ReadString(&HidHost::HidD_GetSerialNumberString, handle, 14, &result);

    ASSERT_NE(result, 0) << host.LastError();
    std::vector<BYTE> expected = {0xA9, 0x03, '-', 0, 0xAC, 0x20, '-', 0, 0x3D, 0xD8, 0x00, 0xDE};
    expected.insert(expected.end(), {0, 0, Untouched, Untouched, Untouched, Untouched});
    EXPECT_EQ(buffer, expected);
    EXPECT_NE(host.CloseHandle(handle), 0);
}

TEST_F(HidapiHostOnRealDevices, CapsGiveTheReportLengthsOfTheDescriptorInSysfs) {
    GuestDevice divider(Divider("MV-CAPS1"));
    DeviceSetup wideSetup = Divider("MV-CAPS2");
    wideSetup.inputLength = 33;
    wideSetup.outputLength = 17;
    wideSetup.featureLength = 9;
    GuestDevice wide(wideSetup);
    GuestDevice keyboard(Keyboard());

    struct Expected {
        GuestDevice* device;
        USHORT input, output, feature;
    };
    for (const Expected& expected :
         {Expected{&divider, 65, 0, 3}, Expected{&wide, 33, 17, 9}, Expected{&keyboard, 9, 2, 0}}) {
        SCOPED_TRACE(expected.device->Node());
        const HANDLE handle = Open(expected.device->Node());
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << host.LastError();
        const HIDP_CAPS caps = Caps(handle);
        EXPECT_EQ(caps.InputReportByteLength, expected.input);
        EXPECT_EQ(caps.OutputReportByteLength, expected.output);
        EXPECT_EQ(caps.FeatureReportByteLength, expected.feature);
        EXPECT_NE(host.CloseHandle(handle), 0);
    }
    // The kernel shows the keyboard's descriptor byte for byte.
    const auto shown = ReadHidrawReportDescriptor(keyboard.Node());
    ASSERT_TRUE(shown.descriptor.has_value()) << shown.error;
    EXPECT_EQ(*shown.descriptor, *test::ReadHexFile(std::string(MEROVANE_TEST_DATA_DIR) +
                                                    "/descriptors/keyboard_logitech_c534.hex"));
}

TEST_F(HidapiHostOnRealDevices, EachModeAndTheAuxiliaryCommandArriveAsExactlyTheirBytes) {
    GuestDevice shortReports(Divider("MV-L3"));
    DeviceSetup longSetup = Divider("MV-L8");
    longSetup.featureLength = 8;
    GuestDevice longReports(longSetup);

    for (GuestDevice* device : {&shortReports, &longReports}) {
        const HANDLE handle = Open(device->Node());
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << host.LastError();
        const USHORT length = Caps(handle).FeatureReportByteLength;
        for (const BYTE mode : {0, 1, 2, 3}) {
            const auto report = CommandReport(length, Command::SetOutputMode, mode);
            ASSERT_TRUE(report.has_value());
            EXPECT_NE(host.HidD_SetFeature(handle, report->data(), length), 0) << host.LastError();
        }
        const auto aux = CommandReport(length, Command::Auxiliary, AuxiliaryArgument);
        ASSERT_TRUE(aux.has_value());
        EXPECT_NE(host.HidD_SetFeature(handle, aux->data(), length), 0) << host.LastError();
        EXPECT_NE(host.CloseHandle(handle), 0);
    }

    EXPECT_EQ(shortReports.FeatureWrites(),
              (std::vector<Bytes>{{0, 1, 0}, {0, 1, 1}, {0, 1, 2}, {0, 1, 3}, {0, 2, 99}}));
    EXPECT_EQ(longReports.FeatureWrites(), (std::vector<Bytes>{{0, 1, 0, 0, 0, 0, 0, 0},
                                                               {0, 1, 1, 0, 0, 0, 0, 0},
                                                               {0, 1, 2, 0, 0, 0, 0, 0},
                                                               {0, 1, 3, 0, 0, 0, 0, 0},
                                                               {0, 2, 99, 0, 0, 0, 0, 0}}));
}

TEST_F(HidapiHostOnRealDevices, AFeatureReadFillsTheReportLengthReportIdFirst) {
    DeviceSetup setup = Divider("MV-READ", 2);
    setup.featureLength = 8;
    GuestDevice device(setup);
    const HANDLE handle = Open(device.Node());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << host.LastError();

    std::vector<BYTE> report(8 + 4, Untouched);
    report[0] = FeatureReportId;
    ASSERT_NE(host.HidD_GetFeature(handle, report.data(), 8), 0) << host.LastError();
    EXPECT_EQ(report, (std::vector<BYTE>{0, 2, 0, 0, 0, 0, 0, 0, Untouched, Untouched, Untouched,
                                         Untouched}));

    // The mode written is the mode read next.
    const auto set = CommandReport(8, Command::SetOutputMode, 3);
    ASSERT_NE(host.HidD_SetFeature(handle, set->data(), 8), 0);
    std::fill(report.begin(), report.end(), Untouched);
    report[0] = FeatureReportId;
    ASSERT_NE(host.HidD_GetFeature(handle, report.data(), 8), 0) << host.LastError();
    EXPECT_EQ(OutputModeOfReport(std::vector<BYTE>(report.begin(), report.begin() + 8)), 3);
    EXPECT_EQ(device.FeatureReads(), 2);
    EXPECT_NE(host.CloseHandle(handle), 0);
}

TEST_F(HidapiHostOnRealDevices, TheProbeTakesAWaitingReportReportIdFirst) {
    GuestDevice device(Divider("MV-PROBE", 2));
    const HANDLE probe = Open(device.Node(), true);
    ASSERT_NE(probe, INVALID_HANDLE_VALUE) << host.LastError();
    device.SendInputReport();

    std::vector<BYTE> buffer(65 + 4, Untouched);
    DWORD read = 0;
    OVERLAPPED overlapped;
    ASSERT_NE(host.ReadFile(probe, buffer.data(), 65, &read, &overlapped), 0) << host.LastError();

    EXPECT_EQ(read, 65u);
    // No report IDs: a 0 comes first, then the device's 64 bytes
    // [sequence, mode, last command, last argument, 0...].
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[2], 2);
    EXPECT_EQ(std::vector<BYTE>(buffer.begin() + 65, buffer.end()),
              std::vector<BYTE>(4, Untouched));
    EXPECT_NE(host.CloseHandle(probe), 0);
}

TEST_F(HidapiHostOnRealDevices, TheProbeOfASilentDeviceFailsWithoutWaiting) {
    DeviceSetup setup = Divider("MV-QUIET");
    setup.streams = false;
    GuestDevice device(setup);
    const HANDLE probe = Open(device.Node(), true);
    ASSERT_NE(probe, INVALID_HANDLE_VALUE) << host.LastError();

    std::vector<BYTE> buffer(65, Untouched);
    DWORD read = 1;
    OVERLAPPED overlapped;
    BOOL result = 0;
    {
        const StuckReadRescue rescue(device);
        result = host.ReadFile(probe, buffer.data(), 65, &read, &overlapped);
    }

    EXPECT_EQ(result, 0) << "the read waited for a report";
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(host.GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(buffer, std::vector<BYTE>(65, Untouched));
    EXPECT_NE(host.CloseHandle(probe), 0);
}

TEST_F(HidapiHostOnRealDevices, AfterAnUnplugEveryCallOnItsHandlesFailsAtOnceAndNothingIsWritten) {
    DeviceSetup setup = Divider("MV-GONE", 1);
    setup.streams = false; // only the report sent below
    GuestDevice device(setup);
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    const HANDLE feature = Open(device.Node());
    const HANDLE probe = Open(device.Node(), true);
    ASSERT_NE(feature, INVALID_HANDLE_VALUE) << host.LastError();
    ASSERT_NE(probe, INVALID_HANDLE_VALUE) << host.LastError();
    device.SendInputReport(); // waiting in the probe's queue when the device goes
    const std::string node = device.Node();

    device.Unplug();

    std::vector<BYTE> buffer(200, Untouched);
    const std::vector<BYTE> untouched = buffer;
    DWORD read = 1;
    OVERLAPPED overlapped;
    // The probe fails at once, the report waiting in its queue notwithstanding.
    EXPECT_EQ(host.ReadFile(probe, buffer.data(), 65, &read, &overlapped), 0);
    EXPECT_EQ(host.GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(read, 0u);
    buffer[0] = 0;
    EXPECT_EQ(host.HidD_GetFeature(feature, buffer.data(), 3), 0);
    buffer[0] = Untouched;
    const std::vector<BYTE> report = *CommandReport(3, Command::SetOutputMode, 2);
    EXPECT_EQ(host.HidD_SetFeature(feature, report.data(), 3), 0);
    EXPECT_EQ(host.GetLastError(), ERROR_GEN_FAILURE);
    HIDD_ATTRIBUTES attributes;
    attributes.Size = 12;
    EXPECT_EQ(host.HidD_GetAttributes(feature, attributes), 0);
    EXPECT_EQ(attributes.VendorID, 0);
    EXPECT_EQ(host.HidD_GetSerialNumberString(feature, buffer.data(), 100), 0);
    EXPECT_EQ(host.HidD_GetProductString(probe, buffer.data(), 100), 0);
    HANDLE preparsed = NO_HANDLE;
    EXPECT_EQ(host.HidD_GetPreparsedData(feature, preparsed), 0);
    EXPECT_EQ(preparsed, NO_HANDLE);
    EXPECT_EQ(buffer, untouched);
    EXPECT_TRUE(device.FeatureWrites().empty());

    // The node is gone: it cannot be opened again.
    EXPECT_EQ(Open(node), INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.GetLastError(), ERROR_FILE_NOT_FOUND);
    // The handles close, and with them the descriptors.
    EXPECT_NE(host.CloseHandle(feature), 0);
    EXPECT_NE(host.CloseHandle(probe), 0);
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
}

TEST_F(HidapiHostOnRealDevices,
       AReadThatMayWaitHandsOutTheReportsLeftAfterAnUnplugThenFailsAtOnce) {
    // The kernel keeps the reports that reached a handle before the unplug,
    // and a read that may wait takes them; only the probe's read (overlapped)
    // looks for the unplug first.
    DeviceSetup setup = Divider("MV-LEFT", 1);
    setup.streams = false;
    GuestDevice device(setup);
    const HANDLE handle = Open(device.Node());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << host.LastError();
    device.SendInputReport();
    device.SendInputReport();

    device.Unplug();

    std::vector<BYTE> buffer(65, Untouched);
    DWORD read = 0;
    for (const BYTE sequence : {0, 1}) {
        SCOPED_TRACE(int{sequence});
        ASSERT_NE(host.ReadFile(handle, buffer.data(), 65, &read, nullptr), 0) << host.LastError();
        EXPECT_EQ(read, 65u);
        EXPECT_EQ(buffer[1], sequence);
        EXPECT_EQ(buffer[2], 1); // the mode
    }
    EXPECT_EQ(host.ReadFile(handle, buffer.data(), 65, &read, nullptr), 0);
    EXPECT_EQ(host.GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(read, 0u);
    EXPECT_NE(host.CloseHandle(handle), 0);
}

TEST_F(HidapiHostOnRealDevices, WhatAHandleReadBeforeAnUnplugItStillAnswersAfterIt) {
    // hidapi keeps a device's identity once asked for it: these reads go on
    // succeeding after the unplug, while every call that reaches the device fails.
    GuestDevice device(Divider("MV-KEPT", 1));
    const HANDLE handle = Open(device.Node());
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << host.LastError();
    ASSERT_EQ(Attributes(handle).VendorID, TargetVendorId);
    ASSERT_EQ(Caps(handle).FeatureReportByteLength, 3);

    device.Unplug();

    EXPECT_EQ(Attributes(handle).ProductID, TargetProductId);
    BOOL result = 0;
    const auto serial = ReadString(&HidHost::HidD_GetSerialNumberString, handle, 14, &result);
    EXPECT_NE(result, 0);
    EXPECT_EQ(serial, Utf16le(u"MV-KEPT", 4));
    EXPECT_EQ(Caps(handle).FeatureReportByteLength, 3);
    std::vector<BYTE> report(3, 0);
    EXPECT_EQ(host.HidD_GetFeature(handle, report.data(), 3), 0);
    EXPECT_NE(host.CloseHandle(handle), 0);
}

TEST_F(HidapiHostOnRealDevices, ANodeNumberReusedAfterTheEnumerationGivesTheNewDevicesIdentity) {
    GuestDevice divider(Divider("MV-OLD"));
    const std::string node = divider.Node();
    ASSERT_EQ(Enumerate(), std::vector<std::string>{node});

    // Between the enumeration and the open, another device takes the node.
    divider.Unplug();
    GuestDevice keyboard(Keyboard());
    ASSERT_EQ(keyboard.Node(), node) << "the kernel gave the node number another time";

    for (const bool enumeratedAgain : {false, true}) {
        SCOPED_TRACE(enumeratedAgain ? "enumerated again" : "opened on the old enumeration");
        if (enumeratedAgain) {
            EXPECT_EQ(Enumerate(), std::vector<std::string>{node});
        }
        const HANDLE handle = Open(node);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << host.LastError();
        const HIDD_ATTRIBUTES attributes = Attributes(handle);
        EXPECT_EQ(attributes.VendorID, 0x046D);
        EXPECT_EQ(attributes.ProductID, 0xC534);
        BOOL result = 0;
        const auto name = ReadString(&HidHost::HidD_GetProductString, handle, 6, &result);
        EXPECT_NE(result, 0);
        EXPECT_EQ(name, Utf16le(u"Log", 4));
        EXPECT_NE(host.CloseHandle(handle), 0);
    }
}

TEST_F(HidapiHostOnRealDevices, AHandleFromTheEnumerationOpensItsNodeOnlyForTheDeviceEnumerated) {
    GuestDevice divider(Divider("MV-LATER", 2));
    const std::string node = divider.Node();
    // As in the window's walk: handles made while a set of the enumeration is open.
    GUID guid;
    host.HidD_GetHidGuid(guid);
    const HANDLE set =
        host.SetupDiGetClassDevsA(guid, nullptr, NO_HANDLE, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    const HANDLE first = Open(node);
    const HANDLE second = Open(node);
    ASSERT_NE(first, INVALID_HANDLE_VALUE) << host.LastError();
    ASSERT_NE(second, INVALID_HANDLE_VALUE) << host.LastError();

    // Nothing is open until a call needs the device.
    EXPECT_TRUE(OpenHidrawNodes().empty());
    EXPECT_EQ(Attributes(first).ProductID, TargetProductId);
    EXPECT_TRUE(OpenHidrawNodes().empty());
    // A read opens its own handle's node (a feature transfer would open
    // every deferred handle first, the second one too).
    std::vector<BYTE> input(65, 0);
    DWORD got = 0;
    ASSERT_NE(host.ReadFile(first, input.data(), 65, &got, nullptr), 0) << host.LastError();
    EXPECT_EQ(OpenHidrawNodes(), std::multiset<std::string>{node});
    EXPECT_NE(host.CloseHandle(first), 0);
    std::vector<BYTE> report(3, 0);

    // Another device takes the node before the second handle needs it.
    divider.Unplug();
    GuestDevice keyboard(Keyboard());
    ASSERT_EQ(keyboard.Node(), node) << "the kernel gave the node number another time";

    // It stands for the divider, which is gone: the call fails as after an
    // unplug, reaches nothing, and leaves nothing open.
    EXPECT_EQ(host.HidD_GetFeature(second, report.data(), 3), 0);
    EXPECT_EQ(host.GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(host.HidD_SetFeature(second, report.data(), 3), 0);
    EXPECT_EQ(host.GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(keyboard.FeatureReads(), 0);
    EXPECT_TRUE(keyboard.FeatureWrites().empty());
    EXPECT_TRUE(OpenHidrawNodes().empty());
    EXPECT_NE(host.CloseHandle(second), 0);
    EXPECT_NE(host.SetupDiDestroyDeviceInfoList(set), 0);
}

TEST_F(HidapiHostOnRealDevices, APlugBackWhileAnOldHandleIsOpenComesUnderANewNode) {
    GuestDevice device(Divider("MV-BACK", 2));
    const std::string before = device.Node();
    const HANDLE old = Open(before);
    ASSERT_NE(old, INVALID_HANDLE_VALUE) << host.LastError();

    device.Unplug();
    device.PlugBack();

    EXPECT_NE(device.Node(), before);
    EXPECT_EQ(Enumerate(), std::vector<std::string>{device.Node()});
    const HANDLE fresh = Open(device.Node());
    ASSERT_NE(fresh, INVALID_HANDLE_VALUE) << host.LastError();
    BOOL result = 0;
    EXPECT_EQ(ReadString(&HidHost::HidD_GetSerialNumberString, fresh, 14, &result),
              Utf16le(u"MV-BACK", 4));
    EXPECT_NE(result, 0);
    std::vector<BYTE> report(3, 0);
    EXPECT_NE(host.HidD_GetFeature(fresh, report.data(), 3), 0) << host.LastError();
    EXPECT_EQ(report, (std::vector<BYTE>{0, 2, 0}));
    EXPECT_EQ(host.HidD_GetFeature(old, report.data(), 3), 0);
    EXPECT_NE(host.CloseHandle(old), 0);
    EXPECT_NE(host.CloseHandle(fresh), 0);
}

} // namespace
} // namespace merovane::guest
