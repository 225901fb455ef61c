// The HID host operations the tool uses, and the records they exchange.
//
// Declarations only: every contact between the tool and a device goes through
// the abstract HidHost below. Two hosts implement it: HidapiHost (real devices,
// through hidapi) and SimulatedHost (virtual devices, for the demo and the tests).
//
// The contract of every operation is in its comment. "Success" means a non-zero
// result. No host ever writes past the length it is told, and no operation
// blocks waiting for a device unless its comment says so.
#pragma once

#include <chrono>
#include <cstdint>

namespace merovane {

using BOOL = std::int32_t; // non-zero = success
using DWORD = std::uint32_t;
using USHORT = std::uint16_t;
using BYTE = std::uint8_t;

// A handle is a 32-bit value whose only meaning is its identity.
using HANDLE = std::int32_t;
inline constexpr HANDLE INVALID_HANDLE_VALUE = -1;
// An empty handle slot: no event, no set, no preparsed data.
inline constexpr HANDLE NO_HANDLE = 0;

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};
};

// Size is set to 12 before HidD_GetAttributes.
struct HIDD_ATTRIBUTES {
    DWORD Size = 0;
    USHORT VendorID = 0;
    USHORT ProductID = 0;
    USHORT VersionNumber = 0; // release number, taken as unsigned
};
static_assert(sizeof(HIDD_ATTRIBUTES) == 12);

// Report byte lengths, each counting the report-ID byte (also for a device
// that declares no report IDs); 0 for a report type the device does not have.
struct HIDP_CAPS {
    USHORT InputReportByteLength = 0;
    USHORT OutputReportByteLength = 0;
    USHORT FeatureReportByteLength = 0;
};

// cbSize is set to 28 before each SetupDiEnumDeviceInterfaces.
struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize = 0;
    GUID InterfaceClassGuid;
    DWORD Flags = 0;
    DWORD Reserved = 0; // the host's own reference to the interface
};
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28);

// The interface-detail record SP_DEVICE_INTERFACE_DETAIL_DATA_A lives in a
// caller's byte buffer: a 32-bit little-endian size field holding this value,
// then the interface path as zero-terminated single-byte text.
inline constexpr DWORD SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE = 5;
inline constexpr DWORD DETAIL_DATA_PATH_OFFSET = 4;

struct OVERLAPPED {
    DWORD Internal = 0;
    DWORD InternalHigh = 0;
    DWORD Offset = 0;
    DWORD OffsetHigh = 0;
    HANDLE hEvent = NO_HANDLE;
};

// nLength is 12; there is never a security descriptor (0).
struct SECURITY_ATTRIBUTES {
    DWORD nLength = 0;
    DWORD lpSecurityDescriptor = 0;
    BOOL bInheritHandle = 0;
};
static_assert(sizeof(SECURITY_ATTRIBUTES) == 12);

// Flags and values the callers pass.
inline constexpr DWORD DIGCF_PRESENT = 0x02;
inline constexpr DWORD DIGCF_DEVICEINTERFACE = 0x10;
inline constexpr DWORD SPDRP_HARDWAREID = 0x01;
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FILE_SHARE_READ = 0x01;
inline constexpr DWORD FILE_SHARE_WRITE = 0x02;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

// How long a feature transfer may wait for the device, and how long a device
// that did not answer is then left alone (see HidD_GetFeature): a window that
// keeps asking a silent divider waits at most 1 s in 31.
inline constexpr std::chrono::milliseconds FeatureTransferBound{1000};
inline constexpr std::chrono::seconds FeatureTransferPause{30};

// What GetLastError reports.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;     // no such interface (any more)
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;      // no permission to open it
inline constexpr DWORD ERROR_GEN_FAILURE = 31;       // the device failed the request
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32; // held for exclusive use elsewhere
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;     // not a handle of the right kind
// The device did not answer a feature request in time (HidD_GetFeature,
// HidD_SetFeature), or it did not answer a recent one and is left alone for
// now. Only ever about the device asked. See FeatureTransferBound and the
// comments below.
inline constexpr DWORD ERROR_SEM_TIMEOUT = 121;
// The device was not asked: the host cannot open it now because another
// device's request that did not answer is still in the system (Linux: the
// kernel holds every open of a HID node until it gives that request up, at
// most 5 s from its start). Never the device's fault; the same call succeeds
// once that request has ended, so a caller tries again later.
inline constexpr DWORD ERROR_BUSY = 170;

class HidHost {
public:
    virtual ~HidHost() = default;

    // Fills HidGuid with the HID device-interface class GUID.
    virtual void HidD_GetHidGuid(GUID& HidGuid) = 0;

    // Takes a snapshot of the HID interfaces present now and returns a
    // device-information-set handle for it (INVALID_HANDLE_VALUE when no set
    // could be made). Enumerator and hwndParent are unused; Flags is
    // DIGCF_PRESENT | DIGCF_DEVICEINTERFACE.
    virtual HANDLE SetupDiGetClassDevsA(const GUID& ClassGuid, const char* Enumerator,
                                        HANDLE hwndParent, DWORD Flags) = 0;

    // Success while the set holds an interface at MemberIndex; fills
    // DeviceInterfaceData for it. Failure (an index past the last interface,
    // a bad set, a cbSize other than 28) ends the enumeration. DeviceInfoData
    // is unused (pass nullptr).
    virtual BOOL SetupDiEnumDeviceInterfaces(HANDLE DeviceInfoSet, void* DeviceInfoData,
                                             const GUID& InterfaceClassGuid,
                                             std::int32_t MemberIndex,
                                             SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData) = 0;

    // Sets *RequiredSize (when given) to the bytes the detail record of the
    // interface needs: DETAIL_DATA_PATH_OFFSET + path length + 1. Without a
    // buffer it fails after that. With a buffer it succeeds only when the
    // buffer's size field holds SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE and
    // DetailSize is at least the required size; it then writes the path and its
    // terminator from DETAIL_DATA_PATH_OFFSET on, and nothing else.
    virtual BOOL SetupDiGetDeviceInterfaceDetailA(
        HANDLE DeviceInfoSet, const SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData,
        BYTE* DeviceInterfaceDetailData, DWORD DeviceInterfaceDetailDataSize, DWORD* RequiredSize,
        void* DeviceInfoData) = 0;

    // Reads a property of the device behind an enumerated interface without
    // opening it. The one property offered is SPDRP_HARDWAREID: the vendor
    // and product ID as the text "HID\\VID_vvvv&PID_pppp" (upper-case hex),
    // zero-terminated. Sets *RequiredSize (when given) to its length with the
    // terminator; succeeds only with a buffer that long, writing nothing past it.
    virtual BOOL SetupDiGetDeviceRegistryPropertyA(
        HANDLE DeviceInfoSet, const SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData, DWORD Property,
        BYTE* PropertyBuffer, DWORD PropertyBufferSize, DWORD* RequiredSize) = 0;

    // Releases the set.
    virtual BOOL SetupDiDestroyDeviceInfoList(HANDLE DeviceInfoSet) = 0;

    // Opens the interface at FileName (zero-terminated single-byte text).
    // FILE_FLAG_OVERLAPPED in FlagsAndAttributes makes ReadFile on the handle
    // take a report only if one is waiting. Returns INVALID_HANDLE_VALUE when
    // the interface is gone or cannot be opened (held exclusively elsewhere,
    // access denied). On Linux the kernel holds every open of a HID node
    // while a feature request that was not answered is still in it (up to
    // 5 s from its start): an open that would wait for it fails at once with
    // ERROR_BUSY, here or at the first call that opens a deferred handle. A
    // handle made before a feature transfer starts is opened before it, so a
    // request that then goes unanswered never holds up a device the caller
    // already has a handle on (as long as no other program opens or closes a
    // HID node meanwhile: the kernel then holds every request behind it).
    virtual HANDLE CreateFileA(const char* FileName, DWORD DesiredAccess, DWORD ShareMode,
                               const SECURITY_ATTRIBUTES* SecurityAttributes,
                               DWORD CreationDisposition, DWORD FlagsAndAttributes,
                               HANDLE TemplateFile) = 0;

    // Releases a device handle. The invalid handle is ignored (failure, no effect).
    virtual BOOL CloseHandle(HANDLE Object) = 0;

    // Fills the vendor ID, product ID and version number of the opened interface.
    virtual BOOL HidD_GetAttributes(HANDLE HidDeviceObject, HIDD_ATTRIBUTES& Attributes) = 0;

    // The three string reads: on success Buffer holds the string in UTF-16LE,
    // cut to BufferLength bytes (whole units only) and zero-terminated when the
    // terminator fits. On failure nothing is written.
    virtual BOOL HidD_GetSerialNumberString(HANDLE HidDeviceObject, void* Buffer,
                                            DWORD BufferLength) = 0;
    virtual BOOL HidD_GetManufacturerString(HANDLE HidDeviceObject, void* Buffer,
                                            DWORD BufferLength) = 0;
    virtual BOOL HidD_GetProductString(HANDLE HidDeviceObject, void* Buffer,
                                       DWORD BufferLength) = 0;

    // Success returns in PreparsedData a handle to the device's report
    // description; on failure PreparsedData is left as it was. On Linux it
    // comes from the report descriptor: with hidapi 0.13 (Debian 12) the host
    // reads that from sysfs and opens nothing; hidapi 0.14 (Debian 13) gives
    // it out only through an open device, so there this call opens the
    // handle's node when no call on the handle has yet, and fails as that
    // open fails. The window and merovane-ctl ask it only of a divider they
    // go on to use, so an interface that is no divider is still never opened.
    virtual BOOL HidD_GetPreparsedData(HANDLE HidDeviceObject, HANDLE& PreparsedData) = 0;
    // Fills the report lengths from a handle HidD_GetPreparsedData returned.
    virtual BOOL HidP_GetCaps(HANDLE PreparsedData, HIDP_CAPS& Capabilities) = 0;
    // Releases a handle HidD_GetPreparsedData returned.
    virtual BOOL HidD_FreePreparsedData(HANDLE PreparsedData) = 0;

    // Feature transfers wait for the device, but never longer than
    // FeatureTransferBound: a device that has not answered by then fails the
    // call with ERROR_SEM_TIMEOUT and leaves the caller's buffer untouched; a
    // late answer is dropped, and nothing of the request outlives the call in
    // the caller's memory or handles. A device that did not answer is left
    // alone: for FeatureTransferPause after that, every feature transfer on
    // it (on any handle) fails at once with ERROR_SEM_TIMEOUT. On Linux a
    // device unplugged and plugged again is tried at once (its node is made
    // anew); on Windows, where a device is known by its path, the pause runs
    // out first. After
    // the pause, or once it answers, it is used as any other. A caller may
    // rely on no feature transfer taking much longer than the bound, on
    // ERROR_SEM_TIMEOUT meaning "this device did not answer", never "refused"
    // nor "another device did not answer" (that is ERROR_BUSY), and on a
    // request nobody answered never keeping the caller's process from ending
    // or its output from closing.

    // Reads a feature report. Byte 0 of ReportBuffer is the report ID; on
    // success the buffer holds the report, report ID first, within
    // ReportBufferLength bytes.
    virtual BOOL HidD_GetFeature(HANDLE HidDeviceObject, void* ReportBuffer,
                                 DWORD ReportBufferLength) = 0;
    // Writes the ReportBufferLength bytes of ReportBuffer, report ID first, as
    // a feature report. After ERROR_SEM_TIMEOUT the device may or may not
    // have taken the report.
    virtual BOOL HidD_SetFeature(HANDLE HidDeviceObject, const void* ReportBuffer,
                                 DWORD ReportBufferLength) = 0;

    // Makes an event object; returns NO_HANDLE when none could be made.
    virtual HANDLE CreateEventA(const SECURITY_ATTRIBUTES* EventAttributes, BOOL ManualReset,
                                BOOL InitialState, const char* Name) = 0;

    // Reads one input report, report ID first, into Buffer (at most
    // NumberOfBytesToRead bytes). On an overlapped handle it succeeds only
    // when a report is waiting and never leaves a read outstanding; any other
    // outcome is failure. On a handle opened without FILE_FLAG_OVERLAPPED it
    // may wait for the next report.
    virtual BOOL ReadFile(HANDLE File, void* Buffer, DWORD NumberOfBytesToRead,
                          DWORD* NumberOfBytesRead, OVERLAPPED* Overlapped) = 0;

    // Why the latest failed operation failed (one of the ERROR_ codes above);
    // ERROR_SUCCESS while none has failed. A successful operation leaves it as it was.
    virtual DWORD GetLastError() = 0;
};

} // namespace merovane
