// The host for real devices on Windows: every HidHost operation carried out by
// the SetupAPI, hid.dll or kernel32 call of the same name. This host and its
// .cpp are the only place that calls them.
//
// What the host adds to those calls:
// - Handles: the system's handles are pointers; each one this host holds is
//   given a number from a counter (never NO_HANDLE or INVALID_HANDLE_VALUE),
//   standing for one object: a device-information set, an open device,
//   preparsed data or an event. An operation given an unknown handle, or a
//   handle of another kind, fails with ERROR_INVALID_HANDLE and changes nothing.
// - Records: the callers' records keep their fixed 32-bit layouts; the system
//   is called with its own (64-bit) records and the results are copied over.
//   An enumerated interface is referred to by its index in the set (Reserved).
// - The hardware ID: the first of the device's IDs, cut to its vendor and
//   product part ("HID\VID_4F3A&PID_2B16&REV_0100" gives "HID\VID_4F3A&PID_2B16").
// - ReadFile reads into the host's own buffer of the device's input-report
//   length (the system fails shorter reads) and copies the report into the
//   caller's buffer, cut to its length. On an overlapped device a read the
//   system leaves pending is cancelled and collected before ReadFile returns,
//   so none stays outstanding; a report that arrived in the meantime counts.
// - Error codes (GetLastError): the system's code is mapped to the ones the
//   callers know: "not found", "path not found", "device does not exist",
//   "device not connected", "no such device" and "device removed" to
//   ERROR_FILE_NOT_FOUND;
//   ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION and ERROR_INVALID_HANDLE as
//   they are; anything else (the end of an enumeration, a buffer too small, a
//   device failing a request, a cancelled read) to ERROR_GEN_FAILURE.
// - hid.dll is loaded from System32 at the first use; without it (or any of
//   its functions used here) enumerations and opens fail with ERROR_GEN_FAILURE.
// - Feature transfers are bounded as the seam says (FeatureTransferBound),
//   through feature_transfer.h, on an overlapped handle: the caller's when it
//   is one, otherwise a second handle the host opens on the same path with
//   the same access, kept with the device. A device is told apart by its
//   path, so a device plugged back within the pause is left alone until the
//   pause ends.
//
// A host is used from one thread at a time.
#pragma once

#include "device/api_declarations.h"
#include "device/handle_table.h"
#include "device/unanswered_devices.h"

#include <string>
#include <variant>

namespace merovane {

class Win32Host final : public HidHost {
public:
    Win32Host() = default;
    ~Win32Host() override; // releases every object still held
    Win32Host(const Win32Host&) = delete;
    Win32Host& operator=(const Win32Host&) = delete;

    void HidD_GetHidGuid(GUID& HidGuid) override;
    HANDLE SetupDiGetClassDevsA(const GUID& ClassGuid, const char* Enumerator, HANDLE hwndParent,
                                DWORD Flags) override;
    BOOL SetupDiEnumDeviceInterfaces(HANDLE DeviceInfoSet, void* DeviceInfoData,
                                     const GUID& InterfaceClassGuid, std::int32_t MemberIndex,
                                     SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData) override;
    BOOL SetupDiGetDeviceInterfaceDetailA(HANDLE DeviceInfoSet,
                                          const SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData,
                                          BYTE* DeviceInterfaceDetailData,
                                          DWORD DeviceInterfaceDetailDataSize, DWORD* RequiredSize,
                                          void* DeviceInfoData) override;
    BOOL SetupDiGetDeviceRegistryPropertyA(HANDLE DeviceInfoSet,
                                           const SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData,
                                           DWORD Property, BYTE* PropertyBuffer,
                                           DWORD PropertyBufferSize, DWORD* RequiredSize) override;
    BOOL SetupDiDestroyDeviceInfoList(HANDLE DeviceInfoSet) override;
    HANDLE CreateFileA(const char* FileName, DWORD DesiredAccess, DWORD ShareMode,
                       const SECURITY_ATTRIBUTES* SecurityAttributes, DWORD CreationDisposition,
                       DWORD FlagsAndAttributes, HANDLE TemplateFile) override;
    BOOL CloseHandle(HANDLE Object) override;
    BOOL HidD_GetAttributes(HANDLE HidDeviceObject, HIDD_ATTRIBUTES& Attributes) override;
    BOOL HidD_GetSerialNumberString(HANDLE HidDeviceObject, void* Buffer,
                                    DWORD BufferLength) override;
    BOOL HidD_GetManufacturerString(HANDLE HidDeviceObject, void* Buffer,
                                    DWORD BufferLength) override;
    BOOL HidD_GetProductString(HANDLE HidDeviceObject, void* Buffer, DWORD BufferLength) override;
    BOOL HidD_GetPreparsedData(HANDLE HidDeviceObject, HANDLE& PreparsedData) override;
    BOOL HidP_GetCaps(HANDLE PreparsedData, HIDP_CAPS& Capabilities) override;
    BOOL HidD_FreePreparsedData(HANDLE PreparsedData) override;
    BOOL HidD_GetFeature(HANDLE HidDeviceObject, void* ReportBuffer,
                         DWORD ReportBufferLength) override;
    BOOL HidD_SetFeature(HANDLE HidDeviceObject, const void* ReportBuffer,
                         DWORD ReportBufferLength) override;
    HANDLE CreateEventA(const SECURITY_ATTRIBUTES* EventAttributes, BOOL ManualReset,
                        BOOL InitialState, const char* Name) override;
    BOOL ReadFile(HANDLE File, void* Buffer, DWORD NumberOfBytesToRead, DWORD* NumberOfBytesRead,
                  OVERLAPPED* Overlapped) override;
    DWORD GetLastError() override { return lastError_; }

private:
    // The system's handles, kept as the pointers they are.
    struct InfoSet {
        void* set;
    };
    struct OpenDevice {
        void* file;
        bool overlapped;
        USHORT inputReportLength; // from the caps, read at the first read; 0 before
        // What the device was opened with, for the feature transfers' own
        // overlapped handle, opened at the first transfer when `file` is not.
        std::string path = {};
        DWORD access = 0;
        DWORD share = 0;
        void* featureFile = nullptr;
    };
    struct Preparsed {
        void* data;
    };
    struct Event {
        void* event;
    };
    using Object = std::variant<InfoSet, OpenDevice, Preparsed, Event>;

    static void Release(const Object& object);
    BOOL Remove(HANDLE handle); // releases the object and forgets its handle
    BOOL Fail(DWORD code);
    BOOL FailWithSystemError(); // the calling thread's last system error, mapped
    enum class DeviceString { Serial, Manufacturer, Product };
    BOOL ReadString(HANDLE handle, void* buffer, DWORD length, DeviceString which);
    // Reads into `answer` when given (report[0] is the ID), else writes `report`.
    BOOL TransferFeature(OpenDevice& device, const void* report, DWORD length, void* answer);
    BOOL ReadReport(OpenDevice& device, void* event, void* buffer, DWORD length, DWORD* bytesRead,
                    OVERLAPPED* overlapped);

    HandleTable<Object> objects_;
    UnansweredDevices unanswered_;
    DWORD lastError_ = ERROR_SUCCESS;
};

} // namespace merovane
