// The Win32 host on the HID devices of the machine it runs on. Under Wine on a
// build machine those are Wine's own mouse and keyboard (vendor 0x845E): no
// divider, but every operation meets the system's real SetupAPI and hid.dll.
#include "device/win32/win32_host.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>
// After the seam's declarations: windows.h defines some of their names as
// macros of the same values.
#include <windows.h>
// dbt.h needs windows.h first.
#include <dbt.h>

namespace merovane::test {
namespace {

struct Interface {
    std::string path;
    std::string hardwareId;
};

class Win32HostOnThisMachine : public ::testing::Test {
protected:
    // Every HID interface present, as the enumeration lists them; the
    // enumeration must end with a failure at the index after the last.
    std::vector<Interface> Enumerate() {
        GUID hid;
        host.HidD_GetHidGuid(hid);
        const HANDLE set = host.SetupDiGetClassDevsA(hid, nullptr, NO_HANDLE,
                                                     DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        EXPECT_NE(set, INVALID_HANDLE_VALUE);
        std::vector<Interface> found;
        SP_DEVICE_INTERFACE_DATA data;
        data.cbSize = sizeof data;
        for (std::int32_t index = 0;
             host.SetupDiEnumDeviceInterfaces(set, nullptr, hid, index, data); ++index) {
            DWORD required = 0;
            EXPECT_FALSE(
                host.SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &required, nullptr));
            std::vector<BYTE> detail(required + 8, 0xEE);
            detail[0] = SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE; // little-endian DWORD
            std::fill_n(&detail[1], 3, 0);
            EXPECT_TRUE(host.SetupDiGetDeviceInterfaceDetailA(set, data, detail.data(), required,
                                                              nullptr, nullptr));
            EXPECT_EQ(detail[required - 1], 0);
            EXPECT_EQ(detail[required], 0xEE) << "written past the required size";
            Interface found_interface;
            found_interface.path = reinterpret_cast<const char*>(&detail[DETAIL_DATA_PATH_OFFSET]);
            EXPECT_EQ(found_interface.path.size() + DETAIL_DATA_PATH_OFFSET + 1, required);

            char id[64] = {};
            DWORD idSize = 0;
            EXPECT_FALSE(host.SetupDiGetDeviceRegistryPropertyA(set, data, SPDRP_HARDWAREID,
                                                                nullptr, 0, &idSize));
            EXPECT_TRUE(host.SetupDiGetDeviceRegistryPropertyA(
                set, data, SPDRP_HARDWAREID, reinterpret_cast<BYTE*>(id), sizeof id, nullptr));
            found_interface.hardwareId = id;
            EXPECT_EQ(found_interface.hardwareId.size() + 1, idSize);
            found.push_back(found_interface);
        }
        EXPECT_EQ(host.GetLastError(), ERROR_GEN_FAILURE);
        data.cbSize = 27;
        EXPECT_FALSE(host.SetupDiEnumDeviceInterfaces(set, nullptr, hid, 0, data));
        EXPECT_TRUE(host.SetupDiDestroyDeviceInfoList(set));
        return found;
    }

    Win32Host host;
};

TEST_F(Win32HostOnThisMachine, ListsEachHidInterfaceWithItsPathAndHardwareId) {
    GUID hid;
    host.HidD_GetHidGuid(hid);
    EXPECT_EQ(hid.Data1, 0x4D1E55B2u);
    EXPECT_EQ(hid.Data2, 0xF16F);
    EXPECT_EQ(hid.Data3, 0x11CF);

    const std::vector<Interface> interfaces = Enumerate();
    ASSERT_FALSE(interfaces.empty()) << "no HID interface on this machine";
    for (const Interface& found : interfaces) {
        EXPECT_TRUE(found.path.starts_with("\\\\?\\hid#")) << found.path;
        // "HID\VID_vvvv&PID_pppp", nothing after it.
        EXPECT_EQ(found.hardwareId.size(), 21u) << found.hardwareId;
        EXPECT_TRUE(found.hardwareId.starts_with("HID\\VID_")) << found.hardwareId;
    }
    // A second snapshot sees the same interfaces.
    EXPECT_EQ(Enumerate().size(), interfaces.size());
}

TEST_F(Win32HostOnThisMachine, ReadsEachDevicesAttributesStringsAndCaps) {
    for (const Interface& found : Enumerate()) {
        SCOPED_TRACE(found.path);
        const HANDLE device =
            host.CreateFileA(found.path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, NO_HANDLE);
        ASSERT_NE(device, INVALID_HANDLE_VALUE) << host.GetLastError();

        HIDD_ATTRIBUTES attributes;
        attributes.Size = sizeof attributes;
        ASSERT_TRUE(host.HidD_GetAttributes(device, attributes));
        char expectedId[32];
        std::snprintf(expectedId, sizeof expectedId, "HID\\VID_%04X&PID_%04X",
                      unsigned{attributes.VendorID}, unsigned{attributes.ProductID});
        EXPECT_EQ(found.hardwareId, expectedId);

        // The product string, whole and cut to a three-unit buffer with no
        // room for the terminator.
        char16_t product[128] = {};
        ASSERT_TRUE(host.HidD_GetProductString(device, product, sizeof product));
        const std::u16string whole(product);
        EXPECT_GT(whole.size(), 3u);
        char16_t cut[4] = {0xAAAA, 0xAAAA, 0xAAAA, 0xAAAA};
        ASSERT_TRUE(host.HidD_GetProductString(device, cut, 6));
        EXPECT_EQ(std::u16string(cut, 3), whole.substr(0, 3));
        EXPECT_EQ(cut[3], 0xAAAA);

        HANDLE preparsed = NO_HANDLE;
        ASSERT_TRUE(host.HidD_GetPreparsedData(device, preparsed));
        HIDP_CAPS caps;
        ASSERT_TRUE(host.HidP_GetCaps(preparsed, caps));
        EXPECT_GT(caps.InputReportByteLength, 1);
        EXPECT_TRUE(host.HidD_FreePreparsedData(preparsed));
        EXPECT_FALSE(host.HidP_GetCaps(preparsed, caps));
        EXPECT_EQ(host.GetLastError(), ERROR_INVALID_HANDLE);

        // Nothing is waiting on an idle device: the overlapped read fails at
        // once, having written nothing, and none stays outstanding.
        const HANDLE event = host.CreateEventA(nullptr, 1, 0, nullptr);
        ASSERT_NE(event, NO_HANDLE);
        OVERLAPPED overlapped;
        overlapped.hEvent = event;
        std::vector<BYTE> report(caps.InputReportByteLength, 0x55);
        DWORD got = 99;
        EXPECT_FALSE(host.ReadFile(device, report.data(), report.size(), &got, &overlapped));
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(report, std::vector<BYTE>(caps.InputReportByteLength, 0x55));
        EXPECT_TRUE(host.CloseHandle(event));
        EXPECT_TRUE(host.CloseHandle(device));
    }
}

TEST_F(Win32HostOnThisMachine, RefusesHandlesItDidNotGiveOrOfAnotherKind) {
    const HANDLE missing =
        host.CreateFileA("\\\\?\\hid#vid_4f3a&pid_2b16#gone#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                         GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, NO_HANDLE);
    EXPECT_EQ(missing, INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.GetLastError(), ERROR_FILE_NOT_FOUND);

    const HANDLE event = host.CreateEventA(nullptr, 1, 0, nullptr);
    ASSERT_NE(event, NO_HANDLE);
    for (const HANDLE bad : {INVALID_HANDLE_VALUE, NO_HANDLE, HANDLE{12345}, event}) {
        SCOPED_TRACE(bad);
        HIDD_ATTRIBUTES attributes;
        attributes.Size = sizeof attributes;
        BYTE buffer[8] = {};
        DWORD got = 0;
        HANDLE preparsed = NO_HANDLE;
        HIDP_CAPS caps;
        SP_DEVICE_INTERFACE_DATA data;
        data.cbSize = sizeof data;
        GUID hid;
        host.HidD_GetHidGuid(hid);
        const auto fails = [this](BOOL result) {
            return result == 0 && host.GetLastError() == ERROR_INVALID_HANDLE;
        };
        EXPECT_TRUE(fails(host.HidD_GetAttributes(bad, attributes)));
        EXPECT_TRUE(fails(host.HidD_GetSerialNumberString(bad, buffer, sizeof buffer)));
        EXPECT_TRUE(fails(host.HidD_GetFeature(bad, buffer, sizeof buffer)));
        EXPECT_TRUE(fails(host.HidD_SetFeature(bad, buffer, sizeof buffer)));
        EXPECT_TRUE(fails(host.ReadFile(bad, buffer, sizeof buffer, &got, nullptr)));
        EXPECT_TRUE(fails(host.HidD_GetPreparsedData(bad, preparsed)));
        EXPECT_EQ(preparsed, NO_HANDLE);
        EXPECT_TRUE(fails(host.HidP_GetCaps(bad, caps)));
        EXPECT_TRUE(fails(host.HidD_FreePreparsedData(bad)));
        EXPECT_TRUE(fails(host.SetupDiEnumDeviceInterfaces(bad, nullptr, hid, 0, data)));
        EXPECT_TRUE(fails(host.SetupDiDestroyDeviceInfoList(bad)));
    }
    EXPECT_TRUE(host.CloseHandle(event));
    EXPECT_FALSE(host.CloseHandle(event));
    EXPECT_EQ(host.GetLastError(), ERROR_INVALID_HANDLE);
}

// What Windows sends the holder of a watched device handle, as Device Manager
// disabling the device makes it: Wine never sends these itself.
void SendRemovalNotice(WPARAM event, void* registration) {
    DEV_BROADCAST_HANDLE record{};
    record.dbch_size = sizeof record;
    record.dbch_devicetype = DBT_DEVTYP_HANDLE;
    record.dbch_hdevnotify = static_cast<HDEVNOTIFY>(registration);
    SendMessageW(FindWindowExW(HWND_MESSAGE, nullptr, L"MerovaneHandleRemovalNotices", nullptr),
                 WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&record));
}

TEST_F(Win32HostOnThisMachine, ARemovalRequestReachesTheHandlesHolderUntilSettled) {
    const std::vector<Interface> interfaces = Enumerate();
    ASSERT_FALSE(interfaces.empty()) << "no HID interface on this machine";
    std::vector<RemovalNotice> told;
    HandleRemovalNotices notices([&told](RemovalNotice notice) { told.push_back(notice); });
    const ::HANDLE file =
        ::CreateFileA(interfaces[0].path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, ::HANDLE(INVALID_HANDLE_VALUE));
    void* const registration = notices.Watch(file);
    ASSERT_NE(registration, nullptr) << "Windows took no handle notification";

    // Asked, the holder closes the file; the removal is refused: settled.
    SendRemovalNotice(DBT_DEVICEQUERYREMOVE, registration);
    EXPECT_EQ(told, std::vector{RemovalNotice::Requested});
    notices.Closing(file);
    ::CloseHandle(file);
    SendRemovalNotice(DBT_DEVICEQUERYREMOVEFAILED, registration);
    EXPECT_EQ(told, (std::vector{RemovalNotice::Requested, RemovalNotice::Settled}));
    // Settled, the watch is over: a later notice is not its.
    SendRemovalNotice(DBT_DEVICEQUERYREMOVE, registration);
    EXPECT_EQ(told.size(), 2u);
}

} // namespace
} // namespace merovane::test
