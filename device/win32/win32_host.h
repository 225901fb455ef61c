// The host for real devices on Windows: every HidHost operation carried out by
// the SetupAPI, hid.dll or kernel32 call of the same name. This host and its
// .cpp are the only place that calls them.
//
// What the host adds to those calls:
// - Handles: the system's handles are pointers; each one this host holds is
//   given a number from a counter (never NO_HANDLE or INVALID_HANDLE_VALUE),
//   standing for one object: a device-information set, a device handle,
//   preparsed data or an event. An operation given an unknown handle, or a
//   handle of another kind, fails with ERROR_INVALID_HANDLE and changes nothing.
// - Records: the callers' records keep their fixed 32-bit layouts; the system
//   is called with its own (64-bit) records and the results are copied over.
//   An enumerated interface is referred to by its index in the set (Reserved).
// - The hardware ID: the first of the device's IDs, cut to its vendor and
//   product part ("HID\VID_4F3A&PID_2B16&REV_0100" gives "HID\VID_4F3A&PID_2B16").
// - A kept enumeration. The window walks every HID interface twice a tick
//   while it waits; a SetupAPI walk and an open of every interface cost the
//   system each time, and on a real bus an open wakes the device. So the
//   host keeps the HID interfaces it listed (paths, hardware IDs), what each
//   device said of itself (attributes, strings: each read once, at its first
//   question) and how opening it went, and walks SetupAPI again only when
//   Windows said a HID interface arrived or left (HidInterfaceNotices), after
//   a call on a listed device failed, and every SafetyWalkInterval. A set is
//   a snapshot of the kept list. CreateFileA on a listed path that opened
//   before with the same access gives a handle without opening anything; its
//   collection is opened, with that access, at the first call that needs the
//   device itself (preparsed data, a feature report, a read, a string or the
//   attributes not yet kept). A refusal that lasts (access denied: Windows
//   holds keyboards and mice for itself) is kept too; other failed opens are
//   tried again each time. An overlapped handle (the input handle) opens at
//   once, so it holds the input reports from then on. Where no notices can
//   be had, every walk, open and question is real.
//   What this relies on: Windows announces an interface once it can be
//   listed and opened, and its departure once it is gone; a path names one
//   device (a device plugged again under the same path is announced again,
//   and is asked afresh).
//   Worst case of a race: a device leaves and its notice is not yet taken
//   in. Until then the device is still listed, a handle on it is given and
//   its kept attributes and serial answered; the first call that needs the
//   device fails, as one on a device unplugged under a held handle does.
//   That failure makes the next walk real and the device opened again, which
//   fails for a device gone, so the window finds it gone at its next walk,
//   as it did when every walk opened every device. Likewise a device another
//   program took for itself after it opened here fails at that first call,
//   and is opened for real again from then on. An arrival is seen at the
//   first walk after its notice was taken in: the window's next tick.
//   The safety walk: notices to a window are sent messages, and the sender
//   need not wait for ever on a thread that takes none (during a long
//   blocking call, such as a stuck feature transfer); a notice it gives up on
//   is lost. A walk every SafetyWalkInterval bounds how long a device missed
//   that way stays unseen, or listed; it opens nothing that stays listed.
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
// A host is made, used and destroyed on one thread. A window's host takes the
// notices through that thread's message loop; a program without one makes
// its host with NoticeDelivery::WithoutMessageLoop.
#pragma once

#include "device/api_declarations.h"
#include "device/handle_table.h"
#include "device/hardware_id.h"
#include "device/unanswered_devices.h"
#include "device/win32/handle_removal_notices.h"
#include "device/win32/hid_interface_notices.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace merovane {

class Win32Host final : public HidHost {
public:
    explicit Win32Host(NoticeDelivery delivery = NoticeDelivery::ThroughMessageLoop);
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

    // Tells listener of Windows's requests to remove a device open here
    // through an overlapped handle (the window's input handle), and of their
    // outcome; the listener closes every handle on the device when told
    // Requested. For a host on a thread with a message loop.
    void OnRemoval(std::function<void(RemovalNotice)> listener);

    // How long the kept enumeration is used at most without a walk.
    static constexpr std::uint64_t SafetyWalkInterval = 30'000; // ms

private:
    // One interface of an enumeration, as SetupAPI lists it.
    struct Listed {
        std::string path;
        std::optional<HardwareId> hardwareId;
        DWORD flags = 0;
    };
    struct Listing {
        GUID interfaceClass;
        std::vector<Listed> interfaces;
    };
    // How an open with an access and share mode went: ERROR_SUCCESS, or a
    // refusal that lasts (ERROR_ACCESS_DENIED).
    struct OpenOutcome {
        DWORD access;
        DWORD share;
        DWORD error;
    };
    // What a device said of itself, each part kept from its first reading,
    // and how it was opened.
    struct Identity {
        std::optional<HIDD_ATTRIBUTES> attributes;
        std::optional<std::wstring> serial;
        std::optional<std::wstring> manufacturer;
        std::optional<std::wstring> product;
        std::vector<OpenOutcome> opens;
    };
    // The system's handles, kept as the pointers they are.
    struct InfoSet {
        std::shared_ptr<const Listing> listing; // shared by the sets of one walk
    };
    struct OpenDevice {
        void* file; // the open collection; null until a call needs it (Collection)
        bool overlapped;
        USHORT inputReportLength; // from the caps, read at the first read; 0 before
        // What CreateFileA was given, for the open.
        std::string path;
        DWORD access = 0;
        DWORD share = 0;
        std::optional<SECURITY_ATTRIBUTES> security;
        DWORD disposition = 0;
        DWORD flags = 0;
        // The feature transfers' own overlapped handle, opened at the first
        // transfer when `file` is not overlapped.
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

    // The collection open in `device`, opened with what CreateFileA was given
    // at its first need: every call that reaches the device takes it from
    // here. Null, with the error set, when it cannot be opened.
    void* Collection(OpenDevice& device);
    // Fails with the system's error of a call on `device`, which may mean the
    // device is gone: for a listed device, what it said of itself is
    // forgotten and the next enumeration walks.
    BOOL FailOnDevice(OpenDevice& device);
    // The identity kept for `device`'s path; null when the path is not in
    // the kept enumeration (or nothing is kept), and every answer comes from
    // the device.
    Identity* KeptIdentity(const OpenDevice& device);
    static std::shared_ptr<const Listing> Walk(const GUID& interfaceClass, DWORD flags);
    // The HID interfaces present: the kept enumeration, or a walk when it may
    // be out of date. Null (error set) when SetupAPI made no set.
    std::shared_ptr<const Listing> HidInterfaces(DWORD flags);

    HandleTable<Object> objects_;
    UnansweredDevices unanswered_;
    DWORD lastError_ = ERROR_SUCCESS;
    NoticeDelivery delivery_;
    GUID hidClass_;
    // Asked for at the first enumeration, before its walk.
    std::unique_ptr<HidInterfaceNotices> notices_;
    std::shared_ptr<const Listing> enumerated_;               // the kept enumeration
    std::map<std::string, Identity, std::less<>> identities_; // of each listed path
    std::uint64_t walkedAt_ = 0;                              // GetTickCount64 of its walk
    bool doubted_ = false;                           // a call on a listed device failed since
    std::unique_ptr<HandleRemovalNotices> removals_; // once OnRemoval was called
};

} // namespace merovane
