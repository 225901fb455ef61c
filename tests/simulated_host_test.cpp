// The simulated host keeps its contract, and its ledger catches misuse: the
// scenario tests are only as good as what it records.
#include "device/simulated/simulated_host.h"
#include "support/test_devices.h"

#include <gtest/gtest.h>

namespace merovane::test {
namespace {

constexpr DWORD ReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD ShareBoth = FILE_SHARE_READ | FILE_SHARE_WRITE;

class SimulatedHostTest : public ::testing::Test {
protected:
    HANDLE Open(const std::string& path, DWORD flags = 0) {
        return host.CreateFileA(path.c_str(), ReadWrite, ShareBoth, nullptr, OPEN_EXISTING, flags,
                                NO_HANDLE);
    }
    HANDLE Snapshot() {
        GUID guid;
        host.HidD_GetHidGuid(guid);
        return host.SetupDiGetClassDevsA(guid, nullptr, NO_HANDLE,
                                         DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    }
    // The interface paths of a snapshot, read as the window reads them.
    std::vector<std::string> Paths(HANDLE set) {
        std::vector<std::string> paths;
        GUID guid;
        host.HidD_GetHidGuid(guid);
        SP_DEVICE_INTERFACE_DATA iface;
        iface.cbSize = 28;
        for (std::int32_t i = 0; host.SetupDiEnumDeviceInterfaces(set, nullptr, guid, i, iface);
             ++i) {
            DWORD size = 0;
            EXPECT_EQ(host.SetupDiGetDeviceInterfaceDetailA(set, iface, nullptr, 0, &size, nullptr),
                      0);
            std::vector<BYTE> detail(size, 0);
            detail[0] = SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE;
            EXPECT_EQ(host.SetupDiGetDeviceInterfaceDetailA(set, iface, detail.data(), size,
                                                            nullptr, nullptr),
                      1);
            paths.emplace_back(reinterpret_cast<const char*>(detail.data() + 4));
        }
        return paths;
    }

    SimulatedHost host;
};

TEST_F(SimulatedHostTest, ASnapshotListsTheInterfacesPresentWhenItWasTaken) {
    VirtualDevice dual = Divider(u"D");
    dual.interfaces = {"dual/0", "dual/1"};
    const auto first = host.Plug(Keyboard());
    host.Plug(dual);
    const HANDLE before = Snapshot();
    host.Unplug(first);
    host.Plug(Divider(u"LATE"));
    const HANDLE after = Snapshot();

    EXPECT_EQ(Paths(before), (std::vector<std::string>{"sim:1", "dual/0", "dual/1"}));
    EXPECT_EQ(Paths(after), (std::vector<std::string>{"dual/0", "dual/1", "sim:3"}));
    // Listed by the old snapshot, gone now.
    EXPECT_EQ(Open("sim:1"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.Ledger().setsOpen, 2);
    host.SetupDiDestroyDeviceInfoList(before);
    host.SetupDiDestroyDeviceInfoList(after);
    EXPECT_EQ(host.Ledger().setsOpen, 0);
    EXPECT_TRUE(host.Ledger().violations.empty());
}

TEST_F(SimulatedHostTest, TheDetailRecordNeedsItsSizeFieldAndRoomAndWritesNothingBeyond) {
    host.Plug(Divider(u"X")); // path "sim:1": 4 + 5 + 1 = 10 bytes
    const HANDLE set = Snapshot();
    GUID guid;
    SP_DEVICE_INTERFACE_DATA iface;
    iface.cbSize = 28;
    ASSERT_EQ(host.SetupDiEnumDeviceInterfaces(set, nullptr, guid, 0, iface), 1);
    DWORD size = 0;
    host.SetupDiGetDeviceInterfaceDetailA(set, iface, nullptr, 0, &size, nullptr);
    ASSERT_EQ(size, 10u);

    std::vector<BYTE> buffer(16, 0xAA);
    buffer[0] = 5;
    buffer[1] = buffer[2] = buffer[3] = 0;
    EXPECT_EQ(host.SetupDiGetDeviceInterfaceDetailA(set, iface, buffer.data(), 9, nullptr, nullptr),
              0);
    buffer[0] = 8; // the wrong size field
    EXPECT_EQ(
        host.SetupDiGetDeviceInterfaceDetailA(set, iface, buffer.data(), 10, nullptr, nullptr), 0);
    EXPECT_EQ(buffer[4], 0xAA);
    buffer[0] = 5;
    EXPECT_EQ(
        host.SetupDiGetDeviceInterfaceDetailA(set, iface, buffer.data(), 10, nullptr, nullptr), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&buffer[4])), "sim:1");
    EXPECT_EQ(buffer[10], 0xAA);

    iface.cbSize = 32; // the enumeration insists on its record size
    EXPECT_EQ(host.SetupDiEnumDeviceInterfaces(set, nullptr, guid, 0, iface), 0);
    host.SetupDiDestroyDeviceInfoList(set);
}

TEST_F(SimulatedHostTest, StringsAreCutToTheLengthToldAndTerminatedOnlyWhenThereIsRoom) {
    host.Plug(Divider(u"ABCDEFGH"));
    const HANDLE handle = Open("sim:1");

    std::vector<BYTE> buffer(24, 0xAA);
    ASSERT_EQ(host.HidD_GetSerialNumberString(handle, buffer.data(), 7), 1);
    EXPECT_EQ(buffer[0], 'A');
    EXPECT_EQ(buffer[4], 'C');
    EXPECT_EQ(buffer[5], 0x00);
    EXPECT_EQ(buffer[6], 0xAA); // half a unit is not written

    std::fill(buffer.begin(), buffer.end(), 0xAA);
    ASSERT_EQ(host.HidD_GetSerialNumberString(handle, buffer.data(), 18), 1);
    EXPECT_EQ(buffer[14], 'H');
    EXPECT_EQ(buffer[16], 0x00);
    EXPECT_EQ(buffer[17], 0x00);
    EXPECT_EQ(buffer[18], 0xAA);
    host.CloseHandle(handle);
}

TEST_F(SimulatedHostTest, AnUnpluggedDevicesHandlesFailEveryCallUntilClosed) {
    const auto id = host.Plug(Divider(u"U", 2));
    const HANDLE feature = Open("sim:1");
    const HANDLE input = Open("sim:1", FILE_FLAG_OVERLAPPED);
    host.Unplug(id);
    host.PlugBack(id); // back, but the old handles stay dead

    HIDD_ATTRIBUTES attributes;
    std::vector<BYTE> report(3, 0);
    DWORD read = 0;
    OVERLAPPED overlapped;
    HANDLE preparsed = NO_HANDLE;
    EXPECT_EQ(host.HidD_GetAttributes(feature, attributes), 0);
    EXPECT_EQ(host.HidD_GetFeature(feature, report.data(), 3), 0);
    EXPECT_EQ(host.HidD_SetFeature(feature, report.data(), 3), 0);
    EXPECT_EQ(host.HidD_GetPreparsedData(feature, preparsed), 0);
    EXPECT_EQ(host.ReadFile(input, report.data(), 3, &read, &overlapped), 0);
    EXPECT_TRUE(host.Ledger().violations.empty()) << "a dead device is not misuse";
    EXPECT_EQ(host.CloseHandle(feature), 1);
    EXPECT_EQ(host.CloseHandle(input), 1);
    EXPECT_TRUE(host.Ledger().openNow.empty());
}

TEST_F(SimulatedHostTest, TheLedgerRecordsEveryKindOfMisuse) {
    host.Plug(Divider(u"M"));
    const HANDLE handle = Open("sim:1");
    HANDLE preparsed = NO_HANDLE;
    ASSERT_EQ(host.HidD_GetPreparsedData(handle, preparsed), 1);
    HIDP_CAPS caps;
    ASSERT_EQ(host.HidP_GetCaps(preparsed, caps), 1);
    EXPECT_EQ(caps.InputReportByteLength, 65);
    host.HidD_FreePreparsedData(preparsed);
    host.CloseHandle(handle);
    ASSERT_TRUE(host.Ledger().violations.empty());

    HIDD_ATTRIBUTES attributes;
    host.CloseHandle(handle);                    // closed twice
    host.HidD_GetAttributes(handle, attributes); // used after its close
    host.CloseHandle(0x7FFF0000);                // never given out
    host.HidD_FreePreparsedData(preparsed);      // freed twice
    host.HidP_GetCaps(NO_HANDLE, caps);          // no preparsed data at all
    EXPECT_EQ(host.Ledger().violations.size(), 5u);

    // The invalid handle is what a failed open gives; it is never misuse.
    host.CloseHandle(INVALID_HANDLE_VALUE);
    host.HidD_GetAttributes(INVALID_HANDLE_VALUE, attributes);
    EXPECT_EQ(host.Ledger().violations.size(), 5u);
}

TEST_F(SimulatedHostTest, FailedOpensAndTransfersSayWhy) {
    VirtualDevice locked = Divider(u"L");
    locked.openError = ERROR_ACCESS_DENIED;
    host.Plug(locked);
    VirtualDevice refusing = Divider(u"R");
    refusing.featureReadFails = true;
    const auto refusingId = host.Plug(refusing);

    EXPECT_EQ(host.GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(Open("sim:1"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Open("no such path"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.GetLastError(), ERROR_FILE_NOT_FOUND);

    const HANDLE handle = Open("sim:2");
    std::vector<BYTE> report(3, 0);
    EXPECT_EQ(host.HidD_GetFeature(handle, report.data(), 3), 0);
    EXPECT_EQ(host.GetLastError(), ERROR_GEN_FAILURE);
    host.Unplug(refusingId);
    EXPECT_EQ(host.HidD_SetFeature(handle, report.data(), 3), 0);
    EXPECT_EQ(host.GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(Open("sim:2"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.GetLastError(), ERROR_FILE_NOT_FOUND);
    host.CloseHandle(handle);
}

TEST_F(SimulatedHostTest, AReadThatWouldWaitOnASilentDeviceIsRecorded) {
    VirtualDevice quiet = Divider(u"Q");
    quiet.streams = false;
    host.Plug(quiet);
    const HANDLE overlapped = Open("sim:1", FILE_FLAG_OVERLAPPED);
    const HANDLE blocking = Open("sim:1");
    std::vector<BYTE> buffer(65);
    DWORD read = 0;

    EXPECT_EQ(host.ReadFile(overlapped, buffer.data(), 65, &read, nullptr), 0);
    EXPECT_TRUE(host.Ledger().violations.empty());
    EXPECT_EQ(host.ReadFile(blocking, buffer.data(), 65, &read, nullptr), 0);
    EXPECT_EQ(host.Ledger().violations.size(), 1u);
    host.CloseHandle(overlapped);
    host.CloseHandle(blocking);
}

TEST_F(SimulatedHostTest, FeatureReportsAreRecordedAppliedAndAnnouncedAndTheLedgerStaysBounded) {
    const auto id = host.Plug(Divider(u"W", 0));
    const HANDLE handle = Open("sim:1");
    std::vector<std::vector<BYTE>> announced;
    host.OnFeatureWrite([&](const FeatureWrite& write) { announced.push_back(write.bytes); });

    const BYTE setMode[] = {0, 1, 3};
    EXPECT_EQ(host.HidD_SetFeature(handle, setMode, 3), 1);
    EXPECT_EQ(host.Device(id).mode, 3);
    host.Device(id).featureWriteFails = true;
    const BYTE refused[] = {0, 1, 1};
    EXPECT_EQ(host.HidD_SetFeature(handle, refused, 3), 0);
    EXPECT_EQ(host.Device(id).mode, 3);
    ASSERT_EQ(host.Ledger().featureWrites.size(), 2u);
    EXPECT_TRUE(host.Ledger().featureWrites[0].delivered);
    EXPECT_FALSE(host.Ledger().featureWrites[1].delivered);
    EXPECT_EQ(host.Ledger().featureWrites[1].path, "sim:1");
    EXPECT_EQ(announced.size(), 2u);

    host.OnFeatureWrite(nullptr);
    host.Device(id).featureWriteFails = false;
    for (std::size_t i = 0; i < SimulatedHost::LedgerDepth + 10; ++i) {
        const BYTE aux[] = {0, 2, static_cast<BYTE>(i)};
        host.HidD_SetFeature(handle, aux, 3);
    }
    EXPECT_EQ(host.Ledger().featureWrites.size(), SimulatedHost::LedgerDepth);
    EXPECT_EQ(host.Ledger().featureWrites.back().bytes[2],
              static_cast<BYTE>(SimulatedHost::LedgerDepth + 9));
    host.CloseHandle(handle);
}

} // namespace
} // namespace merovane::test
