#include "device/hidapi/hidapi_host.h"

#include "device/handle_table.h"
#include "device/hidapi/hidraw_sysfs.h"
#include "device/host_strings.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <hidapi/hidapi.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace merovane {
namespace {

constexpr GUID HidInterfaceClassGuid = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// Flags of an enumerated interface: it is present and enabled.
constexpr DWORD InterfaceActive = 0x1;

// Room for any USB string: a string descriptor holds at most 126 UTF-16 units.
constexpr std::size_t WideStringCapacity = 256;

// The hidraw feature-report requests carry the length in a 14-bit field, so
// no feature transfer is longer than this.
constexpr std::size_t MaxFeatureTransferBytes = (std::size_t{1} << 14) - 1;
// No input report is longer than this: its length with the ID fits 16 bits.
constexpr std::size_t MaxInputReportBytes = MaxReportDataBytes + 1;

// hidapi keeps library-wide state; it stays initialised while any host lives.
std::mutex libraryMutex;
int libraryUsers = 0;

bool SameGuid(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::equal(std::begin(a.Data4), std::end(a.Data4), std::begin(b.Data4));
}

// Why `path` is not a hidraw device node (/dev/hidraw<number>, a character
// device); empty when it is one.
std::string NotHidrawNodeReason(const char* path) {
    if (!HidrawNodeName(path)) {
        return "not a hidraw device path";
    }
    struct stat status {};
    if (::stat(path, &status) != 0) {
        return std::strerror(errno);
    }
    return S_ISCHR(status.st_mode) ? std::string() : std::string("not a character device");
}

// The error code of a failed open: hidapi keeps the open's errno as it is;
// when something else replaced it, the node's access rights tell.
DWORD OpenErrorCode(const char* path, int error) {
    if (error == 0 && ::access(path, R_OK | W_OK) != 0)
        error = errno;
    switch (error) {
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return ERROR_FILE_NOT_FOUND;
    case EBUSY:
        return ERROR_SHARING_VIOLATION;
    default:
        return ERROR_GEN_FAILURE;
    }
}

// An enumeration made while nodes come and go is made again, this many times
// at most; one still overtaken by a change lists the interfaces but answers
// for no device.
constexpr int EnumerationAttempts = 3;

constexpr const char* HeldOpenReason =
    "another device did not answer and the kernel holds every open until it gives that request up";

// A plugged device, told apart from a later one on the same path by its
// node's inode: a plug back makes the node anew.
std::string NodeName(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return path;
    return path + "#" + std::to_string(status.st_ino);
}

using Clock = UnansweredDevices::Clock;

std::wstring WideOrEmpty(const wchar_t* text) {
    return text != nullptr ? std::wstring(text) : std::wstring();
}

} // namespace

HidapiHost::Identity HidapiHost::IdentityIn(const hid_device_info& info) {
    return {{info.vendor_id, info.product_id},
            info.release_number,
            WideOrEmpty(info.serial_number),
            WideOrEmpty(info.manufacturer_string),
            WideOrEmpty(info.product_string)};
}

namespace {

std::string HidapiErrorText(hid_device* device) {
    const wchar_t* text = hid_error(device);
    return text != nullptr ? WideToUtf8(text) : std::string("unknown hidapi error");
}

} // namespace

std::size_t InputReportToCaller(std::span<const std::uint8_t> wire, bool usesReportIds,
                                std::span<std::uint8_t> out) {
    if (out.empty()) {
        return 0;
    }
    if (usesReportIds) {
        const std::size_t count = std::min(wire.size(), out.size());
        std::copy_n(wire.begin(), count, out.begin());
        return count;
    }
    out[0] = 0;
    const std::size_t count = std::min(wire.size(), out.size() - 1);
    std::copy_n(wire.begin(), count, out.begin() + 1);
    return count + 1;
}

HidapiHost::HidapiHost() {
    const std::lock_guard lock(libraryMutex);
    if (libraryUsers++ == 0 && hid_init() != 0) {
        // hidapi initialises itself again on the first enumeration or open.
        lastError_ = "hid_init: " + HidapiErrorText(nullptr);
    }
}

HidapiHost::~HidapiHost() {
    objects_.Clear(); // closes the devices still open
    const std::lock_guard lock(libraryMutex);
    if (--libraryUsers == 0) {
        hid_exit();
    }
}

BOOL HidapiHost::Fail(const char* operation, const std::string& reason, OpenDevice* device,
                      DWORD code) {
    lastError_ = std::string(operation) + ": " + reason;
    lastErrorCode_ = code;
    if (device != nullptr) {
        device->lastError = lastError_;
    }
    return 0;
}

BOOL HidapiHost::FailOnDevice(const char* operation, OpenDevice& device) {
    return Fail(operation, HidapiErrorText(device.device.get()), &device);
}

std::string HidapiHost::LastError() const {
    return lastError_;
}

std::string HidapiHost::LastError(HANDLE device) const {
    const Object* object = objects_.At(device);
    if (object == nullptr) {
        return {};
    }
    const auto* open = std::get_if<OpenDevice>(object);
    return open != nullptr ? open->lastError : std::string();
}

void HidapiHost::HidD_GetHidGuid(GUID& HidGuid) {
    HidGuid = HidInterfaceClassGuid;
}

bool HidapiHost::EnumerationCurrent() {
    if (enumerationCurrent_ && watch_.Changed()) {
        enumerationCurrent_ = false;
        ++era_;
    }
    return enumerationCurrent_;
}

void HidapiHost::Enumerate() {
    ++era_;
    auto listing = std::make_shared<Listing>();
    nodes_.clear();
    // hidapi gives no list both when there is no device and when the
    // enumeration failed; either way the set is empty. A device with several
    // top-level collections is listed once for each, under the same path.
    hid_device_info* const list = hid_enumerate(0, 0);
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        if (info->path == nullptr)
            continue;
        listing->paths.emplace_back(info->path);
        listing->ids.push_back({info->vendor_id, info->product_id});
        if (!nodes_.contains(info->path))
            nodes_.emplace(info->path, KeptNode{std::make_shared<Identity>(IdentityIn(*info))});
    }
    hid_free_enumeration(list);
    enumerated_ = std::move(listing);
}

HANDLE HidapiHost::SetupDiGetClassDevsA(const GUID& ClassGuid, const char* /*Enumerator*/,
                                        HANDLE /*hwndParent*/, DWORD /*Flags*/) {
    // Only HID interfaces are known here: a set of any other class is empty.
    if (!SameGuid(ClassGuid, HidInterfaceClassGuid))
        return objects_.Add(InfoSet{std::make_shared<Listing>()});
    if (!EnumerationCurrent()) {
        // The notices so far are answered by the enumeration below; one that
        // comes while it runs may have been missed by it, so it is made again.
        watch_.Changed();
        for (int attempt = 0; attempt < EnumerationAttempts && !enumerationCurrent_; ++attempt) {
            Enumerate();
            enumerationCurrent_ = watch_.Available() && !watch_.Changed();
        }
    }
    return objects_.Add(InfoSet{enumerated_});
}

BOOL HidapiHost::SetupDiEnumDeviceInterfaces(HANDLE DeviceInfoSet, void* /*DeviceInfoData*/,
                                             const GUID& InterfaceClassGuid,
                                             std::int32_t MemberIndex,
                                             SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData) {
    constexpr const char* Operation = "SetupDiEnumDeviceInterfaces";
    const InfoSet* set = objects_.Find<InfoSet>(DeviceInfoSet);
    if (set == nullptr) {
        return Fail(Operation, "not a device-information set", nullptr, ERROR_INVALID_HANDLE);
    }
    if (DeviceInterfaceData.cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Fail(Operation, "cbSize is not 28");
    }
    if (!SameGuid(InterfaceClassGuid, HidInterfaceClassGuid) || MemberIndex < 0 ||
        static_cast<std::size_t>(MemberIndex) >= set->listing->paths.size()) {
        return Fail(Operation, "no more interfaces");
    }
    DeviceInterfaceData.InterfaceClassGuid = HidInterfaceClassGuid;
    DeviceInterfaceData.Flags = InterfaceActive;
    DeviceInterfaceData.Reserved = static_cast<DWORD>(MemberIndex);
    return 1;
}

BOOL HidapiHost::SetupDiGetDeviceInterfaceDetailA(
    HANDLE DeviceInfoSet, const SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData,
    BYTE* DeviceInterfaceDetailData, DWORD DeviceInterfaceDetailDataSize, DWORD* RequiredSize,
    void* /*DeviceInfoData*/) {
    constexpr const char* Operation = "SetupDiGetDeviceInterfaceDetailA";
    const InfoSet* set = objects_.Find<InfoSet>(DeviceInfoSet);
    if (set == nullptr) {
        return Fail(Operation, "not a device-information set", nullptr, ERROR_INVALID_HANDLE);
    }
    if (DeviceInterfaceData.cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        DeviceInterfaceData.Reserved >= set->listing->paths.size()) {
        return Fail(Operation, "no such interface in the set");
    }
    if (WriteInterfaceDetail(set->listing->paths[DeviceInterfaceData.Reserved],
                             DeviceInterfaceDetailData, DeviceInterfaceDetailDataSize,
                             RequiredSize) == 0) {
        return Fail(Operation, "no buffer, a buffer too small, or a wrong size field");
    }
    return 1;
}

BOOL HidapiHost::SetupDiGetDeviceRegistryPropertyA(
    HANDLE DeviceInfoSet, const SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData, DWORD Property,
    BYTE* PropertyBuffer, DWORD PropertyBufferSize, DWORD* RequiredSize) {
    constexpr const char* Operation = "SetupDiGetDeviceRegistryPropertyA";
    const InfoSet* set = objects_.Find<InfoSet>(DeviceInfoSet);
    if (set == nullptr) {
        return Fail(Operation, "not a device-information set", nullptr, ERROR_INVALID_HANDLE);
    }
    if (Property != SPDRP_HARDWAREID || DeviceInterfaceData.Reserved >= set->listing->ids.size()) {
        return Fail(Operation, "no such property or interface");
    }
    if (WriteHardwareId(set->listing->ids[DeviceInterfaceData.Reserved], PropertyBuffer,
                        PropertyBufferSize, RequiredSize) == 0) {
        return Fail(Operation, "no buffer or a buffer too small");
    }
    return 1;
}

BOOL HidapiHost::SetupDiDestroyDeviceInfoList(HANDLE DeviceInfoSet) {
    if (objects_.Find<InfoSet>(DeviceInfoSet) == nullptr) {
        return Fail("SetupDiDestroyDeviceInfoList", "not a device-information set", nullptr,
                    ERROR_INVALID_HANDLE);
    }
    objects_.Erase(DeviceInfoSet);
    return 1;
}

HANDLE HidapiHost::CreateFileA(const char* FileName, DWORD DesiredAccess, DWORD /*ShareMode*/,
                               const SECURITY_ATTRIBUTES* /*SecurityAttributes*/,
                               DWORD /*CreationDisposition*/, DWORD FlagsAndAttributes,
                               HANDLE /*TemplateFile*/) {
    constexpr const char* Operation = "CreateFileA";
    if (FileName == nullptr) {
        Fail(Operation, "no path");
        return INVALID_HANDLE_VALUE;
    }
    const bool overlapped = (FlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
    // While a set of the current enumeration is open (each shares its
    // listing), a walk through it answers from it; otherwise the watch is
    // asked first.
    const bool setOpen = enumerated_.use_count() > 1;
    if (!overlapped && (setOpen ? enumerationCurrent_ : EnumerationCurrent())) {
        if (const auto found = nodes_.find(FileName); found != nodes_.end())
            return OpenLater(found->first, DesiredAccess, found->second);
    }
    // hidapi 0.13.1 (hidraw) crashes when the file it opens turns out not to
    // be a hidraw node (seen with /dev/null), so only hidraw nodes reach it.
    // A path the current enumeration lists is the node the kernel made for a
    // hidraw device, and needs no look of its own.
    const bool listed = enumerationCurrent_ && nodes_.contains(FileName);
    if (const std::string reason = listed ? std::string() : NotHidrawNodeReason(FileName);
        !reason.empty()) {
        Fail(Operation, std::string(FileName) + ": " + reason, nullptr, ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (FeatureRequestOutstanding()) {
        Fail(Operation, std::string(FileName) + ": " + HeldOpenReason, nullptr, ERROR_BUSY);
        return INVALID_HANDLE_VALUE;
    }
    errno = 0;
    hid_device* const device = hid_open_path(FileName);
    if (device == nullptr) {
        const DWORD code = OpenErrorCode(FileName, errno);
        Fail(Operation, std::string(FileName) + ": " + HidapiErrorText(nullptr), nullptr, code);
        return INVALID_HANDLE_VALUE;
    }
    OpenDevice open;
    open.device = ShareHidDevice(device);
    open.path = FileName;
    open.era = era_;
    open.overlapped = overlapped;
    return objects_.Add(std::move(open));
}

HANDLE HidapiHost::OpenLater(const std::string& path, DWORD desiredAccess, KeptNode& node) {
    // No system holds a hidraw node for itself, and the node has no open
    // short of read-write that reaches the device: access 0 asks for the
    // rights every use needs, so a node the user may not open stays refused.
    const DWORD asked = desiredAccess == 0 ? GENERIC_READ | GENERIC_WRITE : desiredAccess;
    const int rights =
        ((asked & GENERIC_READ) != 0 ? R_OK : 0) | ((asked & GENERIC_WRITE) != 0 ? W_OK : 0);
    if (rights != 0) {
        int& refusal = node.access[((rights & R_OK) != 0 ? 1 : 0) | ((rights & W_OK) != 0 ? 2 : 0)];
        if (refusal < 0)
            refusal = ::access(path.c_str(), rights) == 0 ? 0 : errno;
        if (refusal != 0) {
            Fail("CreateFileA", path + ": " + std::strerror(refusal), nullptr,
                 OpenErrorCode(path.c_str(), refusal));
            return INVALID_HANDLE_VALUE;
        }
    }
    OpenDevice open;
    open.path = path;
    open.era = era_;
    open.identity = node.identity;
    return objects_.Add(std::move(open));
}

hid_device_* HidapiHost::DeviceFor(const char* operation, OpenDevice& device) {
    if (device.handedAway) {
        FailHandedAway(operation, device);
        return nullptr;
    }
    if (!device.device && device.openFailure == ERROR_SUCCESS) {
        // The kernel holds every open while a request nobody answered is in
        // it; this call fails and a later one opens.
        if (FeatureRequestOutstanding()) {
            Fail(operation, device.path + ": " + HeldOpenReason, &device, ERROR_BUSY);
            return nullptr;
        }
        OpenDeferred(device);
    }
    if (!device.device) {
        Fail(operation, device.openFailureReason, &device, device.openFailure);
        return nullptr;
    }
    return device.device.get();
}

void HidapiHost::OpenDeferredHandles() {
    if (FeatureRequestOutstanding())
        return; // they would wait; their calls fail with ERROR_BUSY instead
    for (auto& [handle, object] : objects_) {
        auto* device = std::get_if<OpenDevice>(&object);
        if (device != nullptr && !device->device && !device->handedAway &&
            device->openFailure == ERROR_SUCCESS)
            OpenDeferred(*device);
    }
}

void HidapiHost::OpenDeferred(OpenDevice& device) {
    const char* const path = device.path.c_str();
    const auto failed = [&device](DWORD code, const std::string& reason) {
        device.device.reset();
        device.openFailure = code;
        device.openFailureReason = device.path + ": " + reason;
    };
    // While no change was noticed since the handle was made, the node is the
    // hidraw node enumerated; otherwise it is looked at first.
    const auto unchanged = [this, &device] {
        return EnumerationCurrent() && device.era == era_;
    };
    if (!unchanged()) {
        if (const std::string reason = NotHidrawNodeReason(path); !reason.empty())
            return failed(ERROR_GEN_FAILURE, reason);
    }
    errno = 0;
    if (hid_device* const opened = hid_open_path(path))
        device.device = ShareHidDevice(opened);
    if (!device.device) {
        const DWORD code = OpenErrorCode(path, errno);
        // A node gone means the device the handle stands for was unplugged.
        return failed(code == ERROR_FILE_NOT_FOUND ? ERROR_GEN_FAILURE : code,
                      HidapiErrorText(nullptr));
    }
    // Asked after the open: a node replaced before it is noticed by now.
    if (unchanged())
        return;
    const hid_device_info* info = hid_get_device_info(device.device.get());
    if (info == nullptr || !(IdentityIn(*info) == *device.identity))
        failed(ERROR_GEN_FAILURE, "the node now belongs to another device");
}

BOOL HidapiHost::CloseHandle(HANDLE Object) {
    if (objects_.Find<OpenDevice>(Object) == nullptr && objects_.Find<Event>(Object) == nullptr) {
        return Fail("CloseHandle", "not a device or event handle", nullptr, ERROR_INVALID_HANDLE);
    }
    objects_.Erase(Object); // an open device is closed with its entry
    return 1;
}

BOOL HidapiHost::HidD_GetAttributes(HANDLE HidDeviceObject, HIDD_ATTRIBUTES& Attributes) {
    constexpr const char* Operation = "HidD_GetAttributes";
    OpenDevice* open = objects_.Find<OpenDevice>(HidDeviceObject);
    if (open == nullptr) {
        return Fail(Operation, "not an open device", nullptr, ERROR_INVALID_HANDLE);
    }
    if (Attributes.Size < sizeof(HIDD_ATTRIBUTES)) {
        return Fail(Operation, "Size is less than 12", open);
    }
    const Identity* identity = IdentityOf(Operation, *open);
    if (identity == nullptr) {
        return 0;
    }
    Attributes.VendorID = identity->ids.vendorId;
    Attributes.ProductID = identity->ids.productId;
    Attributes.VersionNumber = identity->release;
    return 1;
}

const HidapiHost::Identity* HidapiHost::IdentityOf(const char* operation, OpenDevice& device) {
    if (device.identity) {
        return device.identity.get();
    }
    // No change noticed since the open, up to now: the node opened is the one
    // the enumeration described.
    if (EnumerationCurrent() && device.era == era_) {
        if (const auto found = nodes_.find(device.path); found != nodes_.end()) {
            device.identity = found->second.identity;
            return device.identity.get();
        }
    }
    hid_device_* const opened = DeviceFor(operation, device);
    if (opened == nullptr)
        return nullptr;
    const hid_device_info* info = hid_get_device_info(opened);
    if (info == nullptr) {
        FailOnDevice(operation, device);
        return nullptr;
    }
    device.identity = std::make_shared<Identity>(IdentityIn(*info));
    return device.identity.get();
}

BOOL HidapiHost::ReadString(const char* operation, HANDLE handle, void* buffer, DWORD length,
                            std::wstring Identity::*text) {
    OpenDevice* open = objects_.Find<OpenDevice>(handle);
    if (open == nullptr) {
        return Fail(operation, "not an open device", nullptr, ERROR_INVALID_HANDLE);
    }
    if (buffer == nullptr) {
        return Fail(operation, "no buffer", open);
    }
    const Identity* identity = IdentityOf(operation, *open);
    if (identity == nullptr) {
        return 0;
    }
    // Cut where hidapi's own string reads cut it: to its buffer, one unit
    // kept for the terminator.
    const std::wstring_view view =
        std::wstring_view(identity->*text).substr(0, WideStringCapacity - 1);
    WideToUtf16le(view, std::span(static_cast<std::uint8_t*>(buffer), length));
    return 1;
}

BOOL HidapiHost::HidD_GetSerialNumberString(HANDLE HidDeviceObject, void* Buffer,
                                            DWORD BufferLength) {
    return ReadString("HidD_GetSerialNumberString", HidDeviceObject, Buffer, BufferLength,
                      &Identity::serial);
}

BOOL HidapiHost::HidD_GetManufacturerString(HANDLE HidDeviceObject, void* Buffer,
                                            DWORD BufferLength) {
    return ReadString("HidD_GetManufacturerString", HidDeviceObject, Buffer, BufferLength,
                      &Identity::manufacturer);
}

BOOL HidapiHost::HidD_GetProductString(HANDLE HidDeviceObject, void* Buffer, DWORD BufferLength) {
    return ReadString("HidD_GetProductString", HidDeviceObject, Buffer, BufferLength,
                      &Identity::product);
}

bool HidapiHost::LoadLengths(const char* operation, OpenDevice& device) {
#if HID_API_VERSION >= HID_API_MAKE_VERSION(0, 14, 0)
    std::vector<std::uint8_t> descriptor(HID_API_MAX_REPORT_DESCRIPTOR_SIZE);
    hid_device_* const opened = DeviceFor(operation, device);
    if (opened == nullptr)
        return false;
    const int got = hid_get_report_descriptor(opened, descriptor.data(), descriptor.size());
    if (got < 0) {
        FailOnDevice(operation, device);
        return false;
    }
    descriptor.resize(static_cast<std::size_t>(got));
#else
    // Older hidapi cannot hand out the descriptor; the kernel shows it in sysfs.
    HidrawDescriptorResult read = ReadHidrawReportDescriptor(device.path);
    if (!read.descriptor) {
        Fail(operation, read.error, &device);
        return false;
    }
    const std::vector<std::uint8_t> descriptor = std::move(*read.descriptor);
#endif
    ReportDescriptorResult parsed = ParseReportDescriptor(descriptor);
    if (!parsed.lengths) {
        Fail(operation, "report descriptor refused: " + parsed.error, &device);
        return false;
    }
    device.lengths = parsed.lengths;
    return true;
}

BOOL HidapiHost::HidD_GetPreparsedData(HANDLE HidDeviceObject, HANDLE& PreparsedData) {
    constexpr const char* Operation = "HidD_GetPreparsedData";
    OpenDevice* open = objects_.Find<OpenDevice>(HidDeviceObject);
    if (open == nullptr) {
        return Fail(Operation, "not an open device", nullptr, ERROR_INVALID_HANDLE);
    }
    if (!open->lengths && !LoadLengths(Operation, *open)) {
        return 0;
    }
    PreparsedData = objects_.Add(Preparsed{*open->lengths});
    return 1;
}

BOOL HidapiHost::HidP_GetCaps(HANDLE PreparsedData, HIDP_CAPS& Capabilities) {
    const Preparsed* preparsed = objects_.Find<Preparsed>(PreparsedData);
    if (preparsed == nullptr) {
        return Fail("HidP_GetCaps", "not preparsed data", nullptr, ERROR_INVALID_HANDLE);
    }
    Capabilities.InputReportByteLength = preparsed->lengths.input;
    Capabilities.OutputReportByteLength = preparsed->lengths.output;
    Capabilities.FeatureReportByteLength = preparsed->lengths.feature;
    return 1;
}

BOOL HidapiHost::HidD_FreePreparsedData(HANDLE PreparsedData) {
    if (objects_.Find<Preparsed>(PreparsedData) == nullptr) {
        return Fail("HidD_FreePreparsedData", "not preparsed data", nullptr, ERROR_INVALID_HANDLE);
    }
    objects_.Erase(PreparsedData);
    return 1;
}

HidapiHost::OpenDevice* HidapiHost::FeatureDevice(const char* operation, HANDLE handle) {
    OpenDevice* open = objects_.Find<OpenDevice>(handle);
    if (open == nullptr) {
        Fail(operation, "not an open device", nullptr, ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (open->handedAway) {
        FailHandedAway(operation, *open);
        return nullptr;
    }
    if (unanswered_.LeftAlone(NodeName(open->path), Clock::now())) {
        Fail(operation, "the device did not answer a recent request and is left alone for now",
             open, ERROR_SEM_TIMEOUT);
        return nullptr;
    }
    return open;
}

BOOL HidapiHost::FailTimedOut(const char* operation, OpenDevice& device) {
    unanswered_.DidNotAnswer(NodeName(device.path), Clock::now());
    device.device.reset(); // the transfer still running holds its own
    device.handedAway = true;
    return Fail(operation, "the device did not answer", &device, ERROR_SEM_TIMEOUT);
}

BOOL HidapiHost::FailHandedAway(const char* operation, OpenDevice& device) {
    return Fail(operation, "the device did not answer a feature request on this handle", &device,
                ERROR_SEM_TIMEOUT);
}

BOOL HidapiHost::HidD_GetFeature(HANDLE HidDeviceObject, void* ReportBuffer,
                                 DWORD ReportBufferLength) {
    constexpr const char* Operation = "HidD_GetFeature";
    OpenDevice* open = FeatureDevice(Operation, HidDeviceObject);
    if (open == nullptr) {
        return 0;
    }
    if (ReportBuffer == nullptr || ReportBufferLength == 0) {
        return Fail(Operation, "no buffer", open);
    }
    if (DeviceFor(Operation, *open) == nullptr) {
        return 0;
    }
    // Read into a buffer of our own so that a failure leaves the caller's
    // untouched; a report shorter than asked for reads as zero-padded.
    auto* const caller = static_cast<std::uint8_t*>(ReportBuffer);
    std::vector<std::uint8_t> report(
        std::min<std::size_t>(ReportBufferLength, MaxFeatureTransferBytes));
    report[0] = caller[0];
    OpenDeferredHandles();
    const FeatureTransferResult read = ReadFeatureBounded(open->device.get(), std::move(report));
    if (!read.answered) {
        return FailTimedOut(Operation, *open);
    }
    unanswered_.Answered(NodeName(open->path));
    if (read.result < 0) {
        return Fail(Operation, read.error, open);
    }
    if (read.result == 0) {
        return Fail(Operation, "empty feature report", open);
    }
    std::copy(read.report.begin(), read.report.end(), caller);
    return 1;
}

BOOL HidapiHost::HidD_SetFeature(HANDLE HidDeviceObject, const void* ReportBuffer,
                                 DWORD ReportBufferLength) {
    constexpr const char* Operation = "HidD_SetFeature";
    OpenDevice* open = FeatureDevice(Operation, HidDeviceObject);
    if (open == nullptr) {
        return 0;
    }
    if (ReportBuffer == nullptr || ReportBufferLength == 0) {
        return Fail(Operation, "no report", open);
    }
    if (ReportBufferLength > MaxFeatureTransferBytes) {
        return Fail(Operation, "feature report longer than a hidraw transfer", open);
    }
    if (DeviceFor(Operation, *open) == nullptr) {
        return 0;
    }
    const auto* const bytes = static_cast<const std::uint8_t*>(ReportBuffer);
    OpenDeferredHandles();
    const FeatureTransferResult sent = WriteFeatureBounded(
        open->device.get(), std::vector<std::uint8_t>(bytes, bytes + ReportBufferLength));
    if (!sent.answered) {
        return FailTimedOut(Operation, *open);
    }
    unanswered_.Answered(NodeName(open->path));
    if (sent.result < 0) {
        return Fail(Operation, sent.error, open);
    }
    if (sent.result == 0) {
        return Fail(Operation, "nothing sent", open);
    }
    return 1;
}

HANDLE HidapiHost::CreateEventA(const SECURITY_ATTRIBUTES* /*EventAttributes*/,
                                BOOL /*ManualReset*/, BOOL /*InitialState*/, const char* /*Name*/) {
    // Reads never stay outstanding, so nothing ever waits on an event: it
    // needs no object of the system behind it.
    return objects_.Add(Event{});
}

BOOL HidapiHost::ReadFile(HANDLE File, void* Buffer, DWORD NumberOfBytesToRead,
                          DWORD* NumberOfBytesRead, OVERLAPPED* /*Overlapped*/) {
    constexpr const char* Operation = "ReadFile";
    if (NumberOfBytesRead != nullptr) {
        *NumberOfBytesRead = 0;
    }
    OpenDevice* open = objects_.Find<OpenDevice>(File);
    if (open == nullptr) {
        return Fail(Operation, "not an open device", nullptr, ERROR_INVALID_HANDLE);
    }
    if (Buffer == nullptr || NumberOfBytesToRead == 0) {
        return Fail(Operation, "no buffer", open);
    }
    hid_device_* const device = DeviceFor(Operation, *open);
    if (device == nullptr) {
        return 0;
    }
    // Whether an ID byte comes first on the wire is in the descriptor; it is
    // read once here unless HidD_GetPreparsedData did. Unknown means no IDs.
    if (!open->lengths && !open->descriptorTried) {
        open->descriptorTried = true;
        LoadLengths(Operation, *open);
    }
    const bool usesReportIds = open->lengths && open->lengths->usesReportIds;

    // Read as many bytes as the caller's buffer holds (capped at the longest
    // report). Without an ID byte on the wire the 0 put first takes one of
    // them, so a report that fills the read loses its last byte, cut like any
    // report longer than the buffer.
    std::vector<std::uint8_t> wire(std::min<std::size_t>(NumberOfBytesToRead, MaxInputReportBytes));
    const int got = hid_read_timeout(device, wire.data(), wire.size(), open->overlapped ? 0 : -1);
    if (got < 0) {
        return FailOnDevice(Operation, *open);
    }
    if (got == 0) {
        return Fail(Operation, "no report waiting", open);
    }
    const std::size_t placed = InputReportToCaller(
        std::span(wire.data(), std::min(static_cast<std::size_t>(got), wire.size())), usesReportIds,
        std::span(static_cast<std::uint8_t*>(Buffer), NumberOfBytesToRead));
    if (NumberOfBytesRead != nullptr) {
        *NumberOfBytesRead = static_cast<DWORD>(placed);
    }
    return 1;
}

} // namespace merovane
