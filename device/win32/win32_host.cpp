#include "device/win32/win32_host.h"

#include "device/hardware_id.h"
#include "device/host_strings.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The system's headers come after the host's declarations: they define the
// names of the callers' constants (ERROR_ACCESS_DENIED, GENERIC_READ...) as
// macros of the same values. Inside namespace merovane, the type names
// (HANDLE, DWORD, GUID...) are the callers'; the system's are written ::HANDLE.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// setupapi.h needs windows.h first.
#include <setupapi.h>
// mingw-w64's HID headers declare C functions without C linkage.
extern "C" {
#include <hidsdi.h>
}
#include "device/win32/feature_transfer.h"
#include "device/win32/hid_library.h"
#include "device/win32/system_guid.h"

namespace {

// The system's invalid handle; from here on the name is the callers' -1.
const ::HANDLE SystemInvalidHandle = INVALID_HANDLE_VALUE;
#undef INVALID_HANDLE_VALUE

// ERROR_NO_SUCH_DEVICE, which mingw-w64's headers do not name: the device has
// been removed since it was opened.
constexpr ::DWORD SystemNoSuchDevice = 433;

// The UTF-16 units the string calls are told, the terminator included
// (252 bytes): into a longer buffer some devices on Windows 10 complete the
// call but store a broken string. A longer string arrives cut.
constexpr std::size_t WideStringCapacity = 126;

} // namespace

namespace merovane {
namespace {

// The system's security attributes for the callers' record (null for none).
std::optional<::SECURITY_ATTRIBUTES> ToSystem(const SECURITY_ATTRIBUTES* attributes) {
    if (attributes == nullptr)
        return std::nullopt;
    ::SECURITY_ATTRIBUTES system{};
    system.nLength = sizeof system;
    system.lpSecurityDescriptor = nullptr;
    system.bInheritHandle = attributes->bInheritHandle;
    return system;
}

DWORD MapSystemError(::DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case SystemNoSuchDevice:
    case ERROR_DEVICE_REMOVED:
        return ERROR_FILE_NOT_FOUND;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_INVALID_HANDLE:
        return static_cast<DWORD>(code);
    default:
        return ERROR_GEN_FAILURE;
    }
}

struct SystemDetail {
    std::string path;
    ::SP_DEVINFO_DATA device{};
};

// The path of the enumerated interface `data` in the system's set, and the
// device it belongs to; nothing (with the system's last error set) when the
// system cannot tell.
std::optional<SystemDetail> SystemInterfaceDetail(void* set, ::SP_DEVICE_INTERFACE_DATA& data) {
    ::DWORD required = 0;
    if (!::SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr) &&
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return std::nullopt;
    // The record starts with a DWORD, so the buffer is made of them.
    std::vector<::DWORD> buffer(required / sizeof(::DWORD) + 1);
    auto* detail = reinterpret_cast<::SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(::SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SystemDetail result;
    result.device.cbSize = sizeof result.device;
    if (!::SetupDiGetDeviceInterfaceDetailA(set, &data, detail,
                                            static_cast<::DWORD>(buffer.size() * sizeof(::DWORD)),
                                            nullptr, &result.device))
        return std::nullopt;
    const std::size_t capacity =
        buffer.size() * sizeof(::DWORD) - offsetof(::SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    result.path.assign(detail->DevicePath, strnlen(detail->DevicePath, capacity));
    return result;
}

// The vendor and product IDs in the first of the device's hardware IDs
// ("HID\VID_4F3A&PID_2B16&REV_0100..."), whatever follows them.
std::optional<HardwareId> SystemHardwareId(void* set, ::SP_DEVINFO_DATA& device) {
    ::DWORD required = 0;
    ::SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr, nullptr, 0,
                                        &required);
    if (required == 0)
        return std::nullopt;
    std::vector<char> ids(required + 2, '\0'); // a list of texts, ending with an empty one
    if (!::SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID, nullptr,
                                             reinterpret_cast<::BYTE*>(ids.data()), required,
                                             nullptr))
        return std::nullopt;
    std::string first(ids.data());
    std::transform(first.begin(), first.end(), first.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const std::size_t vendorAndProduct = HardwareIdText({}).size();
    return ParseHardwareId(std::string_view(first).substr(0, vendorAndProduct));
}

bool SameGuid(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::equal(std::begin(a.Data4), std::end(a.Data4), std::begin(b.Data4));
}

// A path as notices name it: in lower case (HidInterfaceNotices::Take).
std::string NoticeName(std::string path) {
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return path;
}

} // namespace

// Every interface of `interfaceClass` in SetupAPI's list, with its path and
// hardware ID; opens nothing. Null, with the system's error, when SetupAPI
// made no set.
std::shared_ptr<const Win32Host::Listing> Win32Host::Walk(const GUID& interfaceClass, DWORD flags) {
    const ::GUID guid = ToSystem(interfaceClass);
    const ::HDEVINFO set = ::SetupDiGetClassDevsA(&guid, nullptr, nullptr, flags);
    if (set == SystemInvalidHandle)
        return nullptr;
    auto listing = std::make_shared<Listing>();
    listing->interfaceClass = interfaceClass;
    ::SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (::DWORD index = 0; ::SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &data);
         ++index) {
        // An interface gone while the list is read is left out.
        auto detail = SystemInterfaceDetail(set, data);
        if (!detail)
            continue;
        listing->interfaces.push_back(
            {std::move(detail->path), SystemHardwareId(set, detail->device), data.Flags});
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return listing;
}

Win32Host::Win32Host(NoticeDelivery delivery) : delivery_(delivery) {
    HidD_GetHidGuid(hidClass_);
}

Win32Host::~Win32Host() {
    for (const auto& [handle, object] : objects_)
        Release(object);
}

void Win32Host::Release(const Object& object) {
    if (const auto* device = std::get_if<OpenDevice>(&object)) {
        if (device->file != nullptr)
            ::CloseHandle(device->file);
        if (device->featureFile != nullptr)
            ::CloseHandle(device->featureFile);
    } else if (const auto* preparsed = std::get_if<Preparsed>(&object))
        Hid().HidD_FreePreparsedData(static_cast<::PHIDP_PREPARSED_DATA>(preparsed->data));
    else if (const auto* event = std::get_if<Event>(&object))
        ::CloseHandle(event->event);
}

BOOL Win32Host::Remove(HANDLE handle) {
    const auto* device = std::get_if<OpenDevice>(&*objects_.At(handle));
    if (removals_ && device != nullptr && device->overlapped)
        removals_->Closing(device->file);
    Release(*objects_.At(handle));
    objects_.Erase(handle);
    return 1;
}

BOOL Win32Host::Fail(DWORD code) {
    lastError_ = code;
    return 0;
}

BOOL Win32Host::FailWithSystemError() {
    return Fail(MapSystemError(::GetLastError()));
}

BOOL Win32Host::FailOnDevice(OpenDevice& device) {
    const BOOL failed = FailWithSystemError();
    if (Identity* kept = KeptIdentity(device)) {
        *kept = Identity{};
        doubted_ = true;
    }
    return failed;
}

Win32Host::Identity* Win32Host::KeptIdentity(const OpenDevice& device) {
    const auto kept = identities_.find(device.path);
    return kept != identities_.end() ? &kept->second : nullptr;
}

void* Win32Host::Collection(OpenDevice& device) {
    if (device.file != nullptr)
        return device.file;
    auto attributes = ToSystem(device.security ? &*device.security : nullptr);
    const ::HANDLE file = ::CreateFileA(device.path.c_str(), device.access, device.share,
                                        attributes ? &*attributes : nullptr, device.disposition,
                                        device.flags, nullptr);
    if (file == SystemInvalidHandle) {
        if (MapSystemError(::GetLastError()) == ERROR_FILE_NOT_FOUND)
            FailOnDevice(device);
        else
            FailWithSystemError();
        // How the next open goes is not known any more.
        if (Identity* kept = KeptIdentity(device))
            kept->opens.clear();
        return nullptr;
    }
    device.file = file;
    return file;
}

std::shared_ptr<const Win32Host::Listing> Win32Host::HidInterfaces(DWORD flags) {
    // Asked for before the first walk, so that no change after it is missed.
    if (!notices_)
        notices_ = std::make_unique<HidInterfaceNotices>(delivery_, hidClass_);
    if (!notices_->Registered())
        return Walk(hidClass_, flags);
    const std::uint64_t now = ::GetTickCount64();
    if (enumerated_ && !notices_->Pending() && !doubted_ && now - walkedAt_ < SafetyWalkInterval)
        return enumerated_;
    const std::vector<std::string> noticed = notices_->Take();
    auto listing = Walk(hidClass_, flags);
    if (!listing) {
        // The notices taken are lost: nothing kept is trusted.
        enumerated_.reset();
        identities_.clear();
        return nullptr;
    }
    // What a device said of itself is kept while its path stays listed and
    // no notice named it (a device plugged again under the same path).
    const bool unreadable = std::find(noticed.begin(), noticed.end(), "") != noticed.end();
    std::map<std::string, Identity, std::less<>> identities;
    for (const Listed& listed : listing->interfaces) {
        const auto known = identities_.find(listed.path);
        const bool named = unreadable || std::find(noticed.begin(), noticed.end(),
                                                   NoticeName(listed.path)) != noticed.end();
        identities[listed.path] =
            known != identities_.end() && !named ? std::move(known->second) : Identity{};
    }
    identities_ = std::move(identities);
    enumerated_ = std::move(listing);
    walkedAt_ = now;
    doubted_ = false;
    return enumerated_;
}

void Win32Host::HidD_GetHidGuid(GUID& HidGuid) {
    ::GUID system{};
    if (Hid().loaded)
        Hid().HidD_GetHidGuid(&system);
    HidGuid = FromSystem(system);
}

HANDLE Win32Host::SetupDiGetClassDevsA(const GUID& ClassGuid, const char* /*Enumerator*/,
                                       HANDLE /*hwndParent*/, DWORD Flags) {
    if (!Hid().loaded) {
        Fail(ERROR_GEN_FAILURE);
        return INVALID_HANDLE_VALUE;
    }
    // Only the present HID interfaces, which the callers list, are kept.
    auto listing =
        SameGuid(ClassGuid, hidClass_) && Flags == (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)
            ? HidInterfaces(Flags)
            : Walk(ClassGuid, Flags);
    if (!listing) {
        FailWithSystemError();
        return INVALID_HANDLE_VALUE;
    }
    return objects_.Add(InfoSet{std::move(listing)});
}

BOOL Win32Host::SetupDiEnumDeviceInterfaces(HANDLE DeviceInfoSet, void* /*DeviceInfoData*/,
                                            const GUID& InterfaceClassGuid,
                                            std::int32_t MemberIndex,
                                            SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData) {
    const InfoSet* set = objects_.Find<InfoSet>(DeviceInfoSet);
    if (set == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (DeviceInterfaceData.cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || MemberIndex < 0)
        return Fail(ERROR_GEN_FAILURE);
    // Past the last interface, or another class than the set's: the end.
    const Listing& listing = *set->listing;
    if (static_cast<std::size_t>(MemberIndex) >= listing.interfaces.size() ||
        !SameGuid(InterfaceClassGuid, listing.interfaceClass))
        return Fail(ERROR_GEN_FAILURE);
    DeviceInterfaceData.InterfaceClassGuid = listing.interfaceClass;
    DeviceInterfaceData.Flags = listing.interfaces[MemberIndex].flags;
    DeviceInterfaceData.Reserved = static_cast<DWORD>(MemberIndex);
    return 1;
}

BOOL Win32Host::SetupDiGetDeviceInterfaceDetailA(
    HANDLE DeviceInfoSet, const SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData,
    BYTE* DeviceInterfaceDetailData, DWORD DeviceInterfaceDetailDataSize, DWORD* RequiredSize,
    void* /*DeviceInfoData*/) {
    const InfoSet* set = objects_.Find<InfoSet>(DeviceInfoSet);
    if (set == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (DeviceInterfaceData.cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        DeviceInterfaceData.Reserved >= set->listing->interfaces.size())
        return Fail(ERROR_GEN_FAILURE);
    const Listed& listed = set->listing->interfaces[DeviceInterfaceData.Reserved];
    if (!WriteInterfaceDetail(listed.path, DeviceInterfaceDetailData, DeviceInterfaceDetailDataSize,
                              RequiredSize))
        return Fail(ERROR_GEN_FAILURE);
    return 1;
}

BOOL Win32Host::SetupDiGetDeviceRegistryPropertyA(
    HANDLE DeviceInfoSet, const SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData, DWORD Property,
    BYTE* PropertyBuffer, DWORD PropertyBufferSize, DWORD* RequiredSize) {
    const InfoSet* set = objects_.Find<InfoSet>(DeviceInfoSet);
    if (set == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (Property != SPDRP_HARDWAREID ||
        DeviceInterfaceData.Reserved >= set->listing->interfaces.size())
        return Fail(ERROR_GEN_FAILURE);
    const auto& id = set->listing->interfaces[DeviceInterfaceData.Reserved].hardwareId;
    if (!id || !WriteHardwareId(*id, PropertyBuffer, PropertyBufferSize, RequiredSize))
        return Fail(ERROR_GEN_FAILURE);
    return 1;
}

BOOL Win32Host::SetupDiDestroyDeviceInfoList(HANDLE DeviceInfoSet) {
    return objects_.Find<InfoSet>(DeviceInfoSet) != nullptr ? Remove(DeviceInfoSet)
                                                            : Fail(ERROR_INVALID_HANDLE);
}

HANDLE Win32Host::CreateFileA(const char* FileName, DWORD DesiredAccess, DWORD ShareMode,
                              const SECURITY_ATTRIBUTES* SecurityAttributes,
                              DWORD CreationDisposition, DWORD FlagsAndAttributes,
                              HANDLE /*TemplateFile*/) {
    if (FileName == nullptr) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!Hid().loaded) {
        Fail(ERROR_GEN_FAILURE);
        return INVALID_HANDLE_VALUE;
    }
    OpenDevice device{nullptr,
                      (FlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0,
                      0,
                      FileName,
                      DesiredAccess,
                      ShareMode,
                      SecurityAttributes ? std::optional(*SecurityAttributes) : std::nullopt,
                      CreationDisposition,
                      FlagsAndAttributes};
    // A listed interface that opened before with this access opens at its
    // first call that needs the device; an overlapped handle opens at once,
    // to hold the input reports from now on.
    Identity* kept = device.overlapped ? nullptr : KeptIdentity(device);
    if (kept != nullptr) {
        const auto known = std::find_if(kept->opens.begin(), kept->opens.end(), [&](const auto& o) {
            return o.access == DesiredAccess && o.share == ShareMode;
        });
        if (known != kept->opens.end() && known->error != ERROR_SUCCESS) {
            Fail(known->error);
            return INVALID_HANDLE_VALUE;
        }
        if (known != kept->opens.end())
            return objects_.Add(std::move(device));
    }
    if (Collection(device) == nullptr) {
        // Windows refuses this access for good to a collection it holds for
        // itself (a keyboard, a mouse); other refusals may pass.
        if (kept != nullptr && lastError_ == ERROR_ACCESS_DENIED)
            kept->opens.push_back({DesiredAccess, ShareMode, ERROR_ACCESS_DENIED});
        return INVALID_HANDLE_VALUE;
    }
    if (kept != nullptr)
        kept->opens.push_back({DesiredAccess, ShareMode, ERROR_SUCCESS});
    if (removals_ && device.overlapped)
        removals_->Watch(device.file);
    return objects_.Add(std::move(device));
}

void Win32Host::OnRemoval(std::function<void(RemovalNotice)> listener) {
    removals_ = std::make_unique<HandleRemovalNotices>(std::move(listener));
}

BOOL Win32Host::CloseHandle(HANDLE Object) {
    if (objects_.Find<OpenDevice>(Object) == nullptr && objects_.Find<Event>(Object) == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    return Remove(Object);
}

BOOL Win32Host::HidD_GetAttributes(HANDLE HidDeviceObject, HIDD_ATTRIBUTES& Attributes) {
    OpenDevice* device = objects_.Find<OpenDevice>(HidDeviceObject);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (Attributes.Size < sizeof(HIDD_ATTRIBUTES))
        return Fail(ERROR_GEN_FAILURE);
    Identity* kept = KeptIdentity(*device);
    std::optional<HIDD_ATTRIBUTES> unkept;
    std::optional<HIDD_ATTRIBUTES>& read = kept != nullptr ? kept->attributes : unkept;
    if (!read) {
        void* file = Collection(*device);
        if (file == nullptr)
            return 0;
        ::HIDD_ATTRIBUTES system{};
        system.Size = sizeof system;
        if (!Hid().HidD_GetAttributes(file, &system))
            return FailOnDevice(*device);
        read.emplace();
        read->VendorID = system.VendorID;
        read->ProductID = system.ProductID;
        read->VersionNumber = system.VersionNumber;
    }
    Attributes.VendorID = read->VendorID;
    Attributes.ProductID = read->ProductID;
    Attributes.VersionNumber = read->VersionNumber;
    return 1;
}

BOOL Win32Host::ReadString(HANDLE handle, void* buffer, DWORD length, DeviceString which) {
    OpenDevice* device = objects_.Find<OpenDevice>(handle);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (buffer == nullptr)
        return Fail(ERROR_GEN_FAILURE);
    Identity* kept = KeptIdentity(*device);
    std::optional<std::wstring> unkept;
    std::optional<std::wstring>& read = kept == nullptr                       ? unkept
                                        : which == DeviceString::Serial       ? kept->serial
                                        : which == DeviceString::Manufacturer ? kept->manufacturer
                                                                              : kept->product;
    if (!read) {
        void* file = Collection(*device);
        if (file == nullptr)
            return 0;
        wchar_t text[WideStringCapacity + 1] = {}; // the last unit stays a terminator
        const ::ULONG bytes = WideStringCapacity * sizeof text[0];
        const bool answered = which == DeviceString::Serial
                                  ? Hid().HidD_GetSerialNumberString(file, text, bytes)
                              : which == DeviceString::Manufacturer
                                  ? Hid().HidD_GetManufacturerString(file, text, bytes)
                                  : Hid().HidD_GetProductString(file, text, bytes);
        if (!answered)
            return FailOnDevice(*device);
        read = text;
    }
    WideToUtf16le(*read, std::span(static_cast<std::uint8_t*>(buffer), length));
    return 1;
}

BOOL Win32Host::HidD_GetSerialNumberString(HANDLE HidDeviceObject, void* Buffer,
                                           DWORD BufferLength) {
    return ReadString(HidDeviceObject, Buffer, BufferLength, DeviceString::Serial);
}

BOOL Win32Host::HidD_GetManufacturerString(HANDLE HidDeviceObject, void* Buffer,
                                           DWORD BufferLength) {
    return ReadString(HidDeviceObject, Buffer, BufferLength, DeviceString::Manufacturer);
}

BOOL Win32Host::HidD_GetProductString(HANDLE HidDeviceObject, void* Buffer, DWORD BufferLength) {
    return ReadString(HidDeviceObject, Buffer, BufferLength, DeviceString::Product);
}

BOOL Win32Host::HidD_GetPreparsedData(HANDLE HidDeviceObject, HANDLE& PreparsedData) {
    OpenDevice* device = objects_.Find<OpenDevice>(HidDeviceObject);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    void* file = Collection(*device);
    if (file == nullptr)
        return 0;
    ::PHIDP_PREPARSED_DATA data = nullptr;
    if (!Hid().HidD_GetPreparsedData(file, &data))
        return FailOnDevice(*device);
    PreparsedData = objects_.Add(Preparsed{data});
    return 1;
}

BOOL Win32Host::HidP_GetCaps(HANDLE PreparsedData, HIDP_CAPS& Capabilities) {
    const Preparsed* preparsed = objects_.Find<Preparsed>(PreparsedData);
    if (preparsed == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    ::HIDP_CAPS caps{};
    if (Hid().HidP_GetCaps(static_cast<::PHIDP_PREPARSED_DATA>(preparsed->data), &caps) !=
        HIDP_STATUS_SUCCESS)
        return Fail(ERROR_GEN_FAILURE);
    Capabilities.InputReportByteLength = caps.InputReportByteLength;
    Capabilities.OutputReportByteLength = caps.OutputReportByteLength;
    Capabilities.FeatureReportByteLength = caps.FeatureReportByteLength;
    return 1;
}

BOOL Win32Host::HidD_FreePreparsedData(HANDLE PreparsedData) {
    return objects_.Find<Preparsed>(PreparsedData) != nullptr ? Remove(PreparsedData)
                                                              : Fail(ERROR_INVALID_HANDLE);
}

BOOL Win32Host::TransferFeature(OpenDevice& device, const void* report, DWORD length,
                                void* answer) {
    if (unanswered_.LeftAlone(device.path, UnansweredDevices::Clock::now()))
        return Fail(ERROR_SEM_TIMEOUT);
    if (!device.overlapped && device.featureFile == nullptr) {
        const ::HANDLE file = ::CreateFileA(device.path.c_str(), device.access, device.share,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (file == SystemInvalidHandle)
            return FailOnDevice(device);
        device.featureFile = file;
    }
    void* const file = device.overlapped ? Collection(device) : device.featureFile;
    if (file == nullptr)
        return 0;
    const FeatureTransferOutcome outcome = answer != nullptr
                                               ? GetFeatureBounded(file, answer, length)
                                               : SetFeatureBounded(file, report, length);
    if (outcome == FeatureTransferOutcome::TimedOut) {
        unanswered_.DidNotAnswer(device.path, UnansweredDevices::Clock::now());
        return Fail(ERROR_SEM_TIMEOUT);
    }
    unanswered_.Answered(device.path);
    return outcome == FeatureTransferOutcome::Done ? 1 : FailOnDevice(device);
}

BOOL Win32Host::HidD_GetFeature(HANDLE HidDeviceObject, void* ReportBuffer,
                                DWORD ReportBufferLength) {
    OpenDevice* device = objects_.Find<OpenDevice>(HidDeviceObject);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (ReportBuffer == nullptr || ReportBufferLength == 0)
        return Fail(ERROR_GEN_FAILURE);
    return TransferFeature(*device, ReportBuffer, ReportBufferLength, ReportBuffer);
}

BOOL Win32Host::HidD_SetFeature(HANDLE HidDeviceObject, const void* ReportBuffer,
                                DWORD ReportBufferLength) {
    OpenDevice* device = objects_.Find<OpenDevice>(HidDeviceObject);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (ReportBuffer == nullptr || ReportBufferLength == 0)
        return Fail(ERROR_GEN_FAILURE);
    return TransferFeature(*device, ReportBuffer, ReportBufferLength, nullptr);
}

HANDLE Win32Host::CreateEventA(const SECURITY_ATTRIBUTES* EventAttributes, BOOL ManualReset,
                               BOOL InitialState, const char* Name) {
    auto attributes = ToSystem(EventAttributes);
    const ::HANDLE event =
        ::CreateEventA(attributes ? &*attributes : nullptr, ManualReset, InitialState, Name);
    if (event == nullptr) {
        FailWithSystemError();
        return NO_HANDLE;
    }
    return objects_.Add(Event{event});
}

BOOL Win32Host::ReadFile(HANDLE File, void* Buffer, DWORD NumberOfBytesToRead,
                         DWORD* NumberOfBytesRead, OVERLAPPED* Overlapped) {
    if (NumberOfBytesRead != nullptr)
        *NumberOfBytesRead = 0;
    OpenDevice* device = objects_.Find<OpenDevice>(File);
    if (device == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (Buffer == nullptr || NumberOfBytesToRead == 0)
        return Fail(ERROR_GEN_FAILURE);
    // The caller's event, when one is given, is the one an overlapped read
    // signals.
    void* event = nullptr;
    if (device->overlapped && Overlapped != nullptr && Overlapped->hEvent != NO_HANDLE) {
        const Event* known = objects_.Find<Event>(Overlapped->hEvent);
        if (known == nullptr)
            return Fail(ERROR_INVALID_HANDLE);
        event = known->event;
    }
    return ReadReport(*device, event, Buffer, NumberOfBytesToRead, NumberOfBytesRead, Overlapped);
}

BOOL Win32Host::ReadReport(OpenDevice& device, void* event, void* buffer, DWORD length,
                           DWORD* bytesRead, OVERLAPPED* overlapped) {
    void* file = Collection(device);
    if (file == nullptr)
        return 0;
    if (device.inputReportLength == 0) {
        ::PHIDP_PREPARSED_DATA data = nullptr;
        ::HIDP_CAPS caps{};
        if (!Hid().HidD_GetPreparsedData(file, &data))
            return FailOnDevice(device);
        const bool known = Hid().HidP_GetCaps(data, &caps) == HIDP_STATUS_SUCCESS;
        Hid().HidD_FreePreparsedData(data);
        if (!known || caps.InputReportByteLength == 0)
            return Fail(ERROR_GEN_FAILURE); // a device without input reports
        device.inputReportLength = caps.InputReportByteLength;
    }
    std::vector<BYTE> report(device.inputReportLength);
    ::OVERLAPPED system{};
    system.hEvent = event;
    ::DWORD got = 0;
    if (!::ReadFile(file, report.data(), static_cast<::DWORD>(report.size()), &got,
                    device.overlapped ? &system : nullptr)) {
        if (!device.overlapped || ::GetLastError() != ERROR_IO_PENDING)
            return FailOnDevice(device);
        // No report was waiting: the read must not outlive this call.
        ::CancelIoEx(file, &system);
        if (!::GetOverlappedResult(file, &system, &got, TRUE)) {
            if (::GetLastError() != ERROR_OPERATION_ABORTED)
                return FailOnDevice(device);
            return Fail(ERROR_GEN_FAILURE);
        }
    }
    const DWORD placed = std::min<DWORD>(length, got);
    std::memcpy(buffer, report.data(), placed);
    if (bytesRead != nullptr)
        *bytesRead = placed;
    if (overlapped != nullptr) {
        overlapped->Internal = static_cast<DWORD>(system.Internal);
        overlapped->InternalHigh = placed;
    }
    return 1;
}

} // namespace merovane
