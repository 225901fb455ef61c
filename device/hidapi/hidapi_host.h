// The host for real devices: every HidHost operation carried out through
// hidapi (hidraw backend). This host and its .cpp are the only place that
// talks to hidapi.
//
// Handles are numbers this host hands out from a counter (never NO_HANDLE or
// INVALID_HANDLE_VALUE), each standing for one object: a device-information
// set, an open device, preparsed data or an event. An operation given an
// unknown handle, or a handle of another kind, fails and changes nothing.
//
// What a device says of itself (IDs, release number, serial number,
// manufacturer and product strings) is answered from the last enumeration
// while no hidraw node has changed since (HidrawNodeWatch): the window asks
// for it twice a tick for every interface, and hidapi would look each one up
// in sysfs afresh. An enumeration is made again only once a hidraw node was
// created, deleted or changed.
//
// Opening is deferred the same way. CreateFileA without FILE_FLAG_OVERLAPPED
// on a node the current enumeration lists opens nothing (the enumeration is
// checked against the watch at the call, or at the SetupDiGetClassDevsA of
// a set of it still open, as in the window's walk, which asks for every
// interface of the set): whether the caller may open it with the rights asked
// for is answered by access(2), kept per node with the enumeration, so absent
// and permission-denied stay errors of CreateFileA with their codes. The
// handle answers the attributes and strings from the enumeration, and opens
// the node when the first call needs the device itself (a feature report, a
// read, or the descriptor where hidapi reads it from the device); on USB the
// first open of a node resumes the device and costs tens of milliseconds, and
// a held one keeps it from suspending. DesiredAccess 0 asks for read and
// write, the only open of a hidraw node that reaches the device (no system
// holds one for itself), so a node the user may not open is refused however
// it is asked for. An overlapped handle (the probe's) is opened at once, so
// that it holds the input reports from then on. Handles on nodes that are not listed, or made
// while a change is pending, are opened at once too; such a handle answers
// from the enumeration only when no change was noticed between its open and
// its first answer, and otherwise asks hidapi for its own device's identity.
//
// What this relies on: the kernel's refusals are the ones access(2) predicts
// (owner, mode, ACL, capabilities); a refusal that comes only at the open (a
// security module's rule on open, a device held exclusively) fails the first
// call that needs the device instead. The worst case of a race is a node
// number given to another device after the enumeration's last check (in a
// walk, between its SetupDiGetClassDevsA and CreateFileA) and before the
// deferred open. The handle stands for the device enumerated, and answers
// its attributes and strings; when the watch has noticed any change since,
// the node opened is checked against that identity (IDs, release number,
// strings), and another device there is closed again: that call and every
// later one needing the device fail with ERROR_GEN_FAILURE, as on a handle
// whose device was unplugged. Only two devices alike in all of that could be
// taken for each other. A deferred open that fails records why
// (ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, or ERROR_GEN_FAILURE for a
// node gone) and is not tried again. As with hidapi, a handle keeps the
// identity it first answered. Without inotify nothing is kept: every answer
// comes from hidapi and every open is made at once.
//
// Feature transfers are bounded as the seam says (FeatureTransferBound),
// through feature_worker.h; a device is told from another by its node (path
// and inode), so a plug back is tried at once. A handle whose transfer timed
// out has handed its device to that transfer: every later call on it that
// reaches the device fails with ERROR_SEM_TIMEOUT. While such a transfer is
// still in the kernel, which holds every open of a hidraw node until it ends,
// an open fails with ERROR_BUSY instead of waiting. So that it never holds up
// a device the caller already has a handle on, every deferred open is made
// before a transfer starts.
//
// A host is used from one thread at a time.
#pragma once

#include "device/api_declarations.h"
#include "device/handle_table.h"
#include "device/hardware_id.h"
#include "device/hidapi/feature_worker.h"
#include "device/hidapi/hidraw_watch.h"
#include "device/report_descriptor.h"
#include "device/unanswered_devices.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

struct hid_device_; // hidapi's opaque device
struct hid_device_info;

namespace merovane {

// Puts an input report as read from the device (`wire`) into the caller's
// buffer, report ID first: a device that declares report IDs sends the ID
// as the first byte, one that declares none sends no ID byte, so a 0 is put
// before its data. Cut to `out`; returns the bytes written.
std::size_t InputReportToCaller(std::span<const std::uint8_t> wire, bool usesReportIds,
                                std::span<std::uint8_t> out);

class HidapiHost final : public HidHost {
public:
    HidapiHost();
    ~HidapiHost() override; // closes every device still open
    HidapiHost(const HidapiHost&) = delete;
    HidapiHost& operator=(const HidapiHost&) = delete;

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
    DWORD GetLastError() override { return lastErrorCode_; }

    // Why the latest failed operation of this host failed, naming the
    // operation; empty while none has failed.
    std::string LastError() const;
    // Why the latest failed operation on the open device `device` failed;
    // empty for any other handle or while none has failed.
    std::string LastError(HANDLE device) const;

private:
    struct Listing {
        std::vector<std::string> paths;
        std::vector<HardwareId> ids; // of each path's device, from the enumeration
    };
    struct InfoSet {
        std::shared_ptr<const Listing> listing; // shared by the sets of one enumeration
    };
    // What a device says of itself, as hidapi reads it from sysfs.
    struct Identity {
        HardwareId ids;
        USHORT release = 0;
        std::wstring serial;
        std::wstring manufacturer;
        std::wstring product;
        bool operator==(const Identity&) const = default;
    };
    static Identity IdentityIn(const hid_device_info& info);
    struct OpenDevice {
        // Empty until a call needs the device, on a handle made from the
        // enumeration; opened at CreateFileA otherwise. Null again once handed
        // to a transfer that timed out.
        SharedHidDevice device;
        bool handedAway = false; // to a transfer that timed out: never opened again
        std::string path;
        std::uint64_t era = 0;                    // the host's era_ when it was opened
        std::shared_ptr<const Identity> identity; // once answered, kept
        bool overlapped = false;
        std::optional<ReportLengths> lengths; // once the descriptor was parsed
        bool descriptorTried = false;         // ReadFile tries it once on its own
        // Why the deferred open failed (code, reason); never tried again.
        DWORD openFailure = ERROR_SUCCESS;
        std::string openFailureReason;
        std::string lastError;
    };
    // What the enumeration says of a node, and whether the caller may open it.
    struct KeptNode {
        std::shared_ptr<const Identity> identity;
        // The errno of access(2) for each combination of read (1) and write
        // (2) rights, 0 when allowed; -1 until asked.
        std::array<int, 4> access{-1, -1, -1, -1};
    };
    struct Preparsed {
        ReportLengths lengths;
    };
    struct Event {};
    using Object = std::variant<InfoSet, OpenDevice, Preparsed, Event>;

    BOOL Fail(const char* operation, const std::string& reason, OpenDevice* device = nullptr,
              DWORD code = ERROR_GEN_FAILURE);
    BOOL FailOnDevice(const char* operation, OpenDevice& device);
    // The open device `handle` for a feature transfer, or null after failing
    // the call: not a device, handed away, or its device left alone.
    OpenDevice* FeatureDevice(const char* operation, HANDLE handle);
    // Fails a transfer that timed out; the device goes with the transfer.
    BOOL FailTimedOut(const char* operation, OpenDevice& device);
    // Fails a call on a handle whose device went with such a transfer.
    BOOL FailHandedAway(const char* operation, OpenDevice& device);
    BOOL ReadString(const char* operation, HANDLE handle, void* buffer, DWORD length,
                    std::wstring Identity::*text);
    // A handle on the listed node `path` that opens it later; fails with the
    // code of an open when access(2) says the rights asked for are refused.
    HANDLE OpenLater(const std::string& path, DWORD desiredAccess, KeptNode& node);
    // The device open in `device`, opened now if it was deferred and checked
    // to be the device the handle was made for; null, with the failure
    // recorded, when it cannot be had.
    hid_device_* DeviceFor(const char* operation, OpenDevice& device);
    // Opens the node of a deferred handle, or records why not.
    void OpenDeferred(OpenDevice& device);
    // Opens the node of every deferred handle, unless an open would wait.
    void OpenDeferredHandles();
    // True while no hidraw node changed since the enumeration kept in
    // `enumerated_`; never waits.
    bool EnumerationCurrent();
    // Enumerates into `enumerated_` and `nodes_`.
    void Enumerate();
    // The identity of the device open in `device`: kept, from the enumeration
    // when that is current and was so at the open, or else from hidapi.
    const Identity* IdentityOf(const char* operation, OpenDevice& device);
    // Reads and parses the descriptor of `device`, keeping the lengths;
    // records the reason and returns false when that fails.
    bool LoadLengths(const char* operation, OpenDevice& device);

    HandleTable<Object> objects_;
    HidrawNodeWatch watch_;
    UnansweredDevices unanswered_;
    std::shared_ptr<const Listing> enumerated_ = std::make_shared<Listing>();
    std::unordered_map<std::string, KeptNode> nodes_; // by path
    bool enumerationCurrent_ = false;
    // Moves on whenever a change of the nodes is noticed or an enumeration is made.
    std::uint64_t era_ = 0;
    std::string lastError_;
    DWORD lastErrorCode_ = ERROR_SUCCESS;
};

} // namespace merovane
