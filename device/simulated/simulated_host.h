// A HID host of virtual devices: the demo runs on it and the tests assert on
// its ledger.
//
// Devices are plugged and unplugged at any time; an unplugged device's open
// handles fail every later call. Handle numbers are never reused, so a handle
// used after its close is recognised and recorded. The ledger keeps the newest
// LedgerDepth entries of each kind, so that a host left running for hours stays
// small.
#pragma once

#include "device/api_declarations.h"
#include "device/simulated/virtual_device.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace merovane {

enum class HostOperation {
    HidD_GetHidGuid,
    SetupDiGetClassDevsA,
    SetupDiEnumDeviceInterfaces,
    SetupDiGetDeviceInterfaceDetailA,
    SetupDiGetDeviceRegistryPropertyA,
    SetupDiDestroyDeviceInfoList,
    CreateFileA,
    CloseHandle,
    HidD_GetAttributes,
    HidD_GetSerialNumberString,
    HidD_GetManufacturerString,
    HidD_GetProductString,
    HidD_GetPreparsedData,
    HidP_GetCaps,
    HidD_FreePreparsedData,
    HidD_GetFeature,
    HidD_SetFeature,
    CreateEventA,
    ReadFile,
};
inline constexpr std::size_t HostOperationCount = 19;

struct FeatureWrite {
    std::string path;
    HANDLE handle = NO_HANDLE;
    std::vector<BYTE> bytes; // all the bytes the caller passed
    bool delivered = false;  // false: the device refused or was gone
};

struct DeviceHandleRecord {
    HANDLE handle = NO_HANDLE;
    std::string path;
    bool overlapped = false;
    DWORD access = 0; // GENERIC_READ, GENERIC_WRITE, both or none
};

struct ReadRecord {
    HANDLE handle = NO_HANDLE;
    DWORD length = 0;        // the length the caller told
    USHORT reportLength = 0; // the input-report length of the device behind the handle
    bool delivered = false;
};

struct HostLedger {
    std::deque<FeatureWrite> featureWrites;       // oldest first
    std::deque<DeviceHandleRecord> opens;         // every device open that succeeded
    std::deque<HANDLE> closes;                    // every device handle closed, in order
    std::map<HANDLE, DeviceHandleRecord> openNow; // device handles not yet closed
    std::deque<ReadRecord> reads;
    // Misuse by the caller: a handle closed twice or used after its close, a
    // handle the host never gave out, a blocking read on a silent device.
    std::deque<std::string> violations;
    std::array<std::uint64_t, HostOperationCount> calls{};
    std::uint64_t totalCalls = 0;
    std::uint64_t eventsCreated = 0;
    int setsOpen = 0;      // device-information sets not yet destroyed
    int preparsedOpen = 0; // preparsed data not yet freed

    std::uint64_t Calls(HostOperation operation) const {
        return calls[static_cast<std::size_t>(operation)];
    }
};

class SimulatedHost final : public HidHost {
public:
    using DeviceId = int;
    static constexpr std::size_t LedgerDepth = 4096;

    // Attaches the device; its interfaces come last in enumeration order.
    DeviceId Plug(VirtualDevice device);
    // Detaches the device; its handles fail every later call.
    void Unplug(DeviceId id);
    // Attaches an unplugged device again, last in enumeration order; handles
    // from before the unplug stay dead.
    void PlugBack(DeviceId id);
    bool IsPlugged(DeviceId id) const;
    // Every device ever plugged, in the order they were first plugged.
    std::vector<DeviceId> Devices() const;
    // The device's description, to read or to change while it is attached;
    // its interface paths are fixed from the plug to the unplug.
    VirtualDevice& Device(DeviceId id);
    const VirtualDevice& Device(DeviceId id) const;

    // Models a Linux host waiting out a request a device did not answer:
    // while held, every open fails with ERROR_BUSY and touches no device.
    void HoldOpens(bool held) { opensHeld_ = held; }

    const HostLedger& Ledger() const { return ledger_; }
    // Told after every feature report written, delivered or not.
    void OnFeatureWrite(std::function<void(const FeatureWrite&)> observer);

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
    struct AttachedDevice {
        VirtualDevice description;
        bool plugged = false;
        int plugging = 0; // counts the plugs; handles of an earlier one are dead
    };
    struct InterfaceRef {
        DeviceId device = 0;
        int plugging = 0;
        std::size_t index = 0; // into the device's interfaces
    };
    enum class Kind { Set, Device, PreparsedData, Event };
    struct LiveHandle {
        Kind kind = Kind::Device;
        InterfaceRef iface;                 // Device, PreparsedData
        bool overlapped = false;            // Device
        bool reads = false;                 // Device: opened with read access
        std::vector<InterfaceRef> snapshot; // Set
    };

    void Count(HostOperation operation);
    void Violation(std::string what);
    HANDLE NewHandle(LiveHandle handle);
    // The live handle of that kind, or nullptr; records misuse of stale handles.
    LiveHandle* Find(HANDLE handle, Kind kind, const char* operation);
    // The device behind an open device handle while that device is attached.
    VirtualDevice* DeviceBehind(HANDLE handle, const char* operation);
    bool IsAttached(const InterfaceRef& iface) const;
    // Rebuilds pathIndex_ after a plug or an unplug.
    void IndexPaths();
    const std::string& PathOf(const InterfaceRef& iface) const;
    BOOL ReadString(HANDLE handle, std::optional<std::u16string> VirtualDevice::*field,
                    void* buffer, DWORD length, const char* operation);
    template <typename Entry> static void Keep(std::deque<Entry>& log, Entry entry);

    std::map<DeviceId, AttachedDevice> devices_;
    std::vector<DeviceId> order_; // enumeration order of the attached devices
    // Each attached interface by its path, so that an open does not walk
    // every device; the first in enumeration order where paths repeat.
    struct PathHash {
        using is_transparent = void; // finds by a path's text without copying it
        std::size_t operator()(std::string_view path) const {
            return std::hash<std::string_view>{}(path);
        }
    };
    std::unordered_map<std::string, InterfaceRef, PathHash, std::equal_to<>> pathIndex_;
    std::map<HANDLE, LiveHandle> live_;
    HANDLE nextHandle_ = 0x100;
    DeviceId nextDevice_ = 1;
    HostLedger ledger_;
    DWORD lastError_ = ERROR_SUCCESS;
    bool opensHeld_ = false;
    std::function<void(const FeatureWrite&)> featureWriteObserver_;
};

} // namespace merovane
