#include "device/simulated/simulated_host.h"

#include "device/hardware_id.h"

#include <algorithm>
#include <cstring>

namespace merovane {

namespace {

constexpr GUID HidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

constexpr DWORD InterfaceDataSize = 28;

std::size_t OperationIndex(HostOperation operation) {
    return static_cast<std::size_t>(operation);
}

} // namespace

template <typename Entry> void SimulatedHost::Keep(std::deque<Entry>& log, Entry entry) {
    log.push_back(std::move(entry));
    if (log.size() > LedgerDepth)
        log.pop_front();
}

SimulatedHost::DeviceId SimulatedHost::Plug(VirtualDevice device) {
    const DeviceId id = nextDevice_++;
    if (device.interfaces.empty())
        device.interfaces.push_back("sim:" + std::to_string(id));
    devices_[id] = AttachedDevice{std::move(device), false, 0};
    PlugBack(id);
    return id;
}

void SimulatedHost::Unplug(DeviceId id) {
    AttachedDevice& attached = devices_.at(id);
    attached.plugged = false;
    std::erase(order_, id);
    IndexPaths();
}

void SimulatedHost::PlugBack(DeviceId id) {
    AttachedDevice& attached = devices_.at(id);
    if (attached.plugged)
        return;
    attached.plugged = true;
    ++attached.plugging;
    order_.push_back(id);
    IndexPaths();
}

void SimulatedHost::IndexPaths() {
    pathIndex_.clear();
    for (const DeviceId id : order_) {
        const AttachedDevice& attached = devices_.at(id);
        const auto& paths = attached.description.interfaces;
        for (std::size_t i = 0; i < paths.size(); ++i)
            pathIndex_.try_emplace(paths[i], InterfaceRef{id, attached.plugging, i});
    }
}

bool SimulatedHost::IsPlugged(DeviceId id) const {
    return devices_.at(id).plugged;
}

std::vector<SimulatedHost::DeviceId> SimulatedHost::Devices() const {
    std::vector<DeviceId> ids;
    for (const auto& [id, attached] : devices_)
        ids.push_back(id);
    return ids;
}

VirtualDevice& SimulatedHost::Device(DeviceId id) {
    return devices_.at(id).description;
}

const VirtualDevice& SimulatedHost::Device(DeviceId id) const {
    return devices_.at(id).description;
}

void SimulatedHost::OnFeatureWrite(std::function<void(const FeatureWrite&)> observer) {
    featureWriteObserver_ = std::move(observer);
}

void SimulatedHost::Count(HostOperation operation) {
    ++ledger_.calls[OperationIndex(operation)];
    ++ledger_.totalCalls;
}

void SimulatedHost::Violation(std::string what) {
    Keep(ledger_.violations, std::move(what));
}

HANDLE SimulatedHost::NewHandle(LiveHandle handle) {
    const HANDLE value = nextHandle_;
    nextHandle_ += 4;
    live_.emplace(value, std::move(handle));
    return value;
}

SimulatedHost::LiveHandle* SimulatedHost::Find(HANDLE handle, Kind kind, const char* operation) {
    if (handle == INVALID_HANDLE_VALUE || handle == NO_HANDLE)
        return nullptr;
    const auto found = live_.find(handle);
    if (found == live_.end()) {
        const bool issued = handle >= 0x100 && handle < nextHandle_ && handle % 4 == 0;
        Violation(std::string(operation) +
                  (issued ? ": handle used after its close: " : ": handle never given out: ") +
                  std::to_string(handle));
        return nullptr;
    }
    if (found->second.kind != kind) {
        Violation(std::string(operation) + ": handle of another kind: " + std::to_string(handle));
        return nullptr;
    }
    return &found->second;
}

bool SimulatedHost::IsAttached(const InterfaceRef& iface) const {
    const auto found = devices_.find(iface.device);
    return found != devices_.end() && found->second.plugged &&
           found->second.plugging == iface.plugging;
}

const std::string& SimulatedHost::PathOf(const InterfaceRef& iface) const {
    return devices_.at(iface.device).description.interfaces.at(iface.index);
}

VirtualDevice* SimulatedHost::DeviceBehind(HANDLE handle, const char* operation) {
    LiveHandle* live = Find(handle, Kind::Device, operation);
    if (live == nullptr || !IsAttached(live->iface)) {
        // Calls on a handle whose device is gone fail as the real stack's do.
        lastError_ = live == nullptr ? ERROR_INVALID_HANDLE : ERROR_GEN_FAILURE;
        return nullptr;
    }
    return &devices_.at(live->iface.device).description;
}

void SimulatedHost::HidD_GetHidGuid(GUID& HidGuid) {
    Count(HostOperation::HidD_GetHidGuid);
    HidGuid = HidInterfaceClass;
}

HANDLE SimulatedHost::SetupDiGetClassDevsA(const GUID&, const char*, HANDLE, DWORD) {
    Count(HostOperation::SetupDiGetClassDevsA);
    LiveHandle set{Kind::Set, {}, false, false, {}};
    for (const DeviceId id : order_) {
        const AttachedDevice& attached = devices_.at(id);
        for (std::size_t i = 0; i < attached.description.interfaces.size(); ++i)
            set.snapshot.push_back({id, attached.plugging, i});
    }
    ++ledger_.setsOpen;
    return NewHandle(std::move(set));
}

BOOL SimulatedHost::SetupDiEnumDeviceInterfaces(HANDLE DeviceInfoSet, void*, const GUID&,
                                                std::int32_t MemberIndex,
                                                SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData) {
    Count(HostOperation::SetupDiEnumDeviceInterfaces);
    LiveHandle* set = Find(DeviceInfoSet, Kind::Set, "SetupDiEnumDeviceInterfaces");
    if (set == nullptr || DeviceInterfaceData.cbSize != InterfaceDataSize || MemberIndex < 0 ||
        static_cast<std::size_t>(MemberIndex) >= set->snapshot.size())
        return 0;
    DeviceInterfaceData.InterfaceClassGuid = HidInterfaceClass;
    DeviceInterfaceData.Flags = 1;
    DeviceInterfaceData.Reserved = static_cast<DWORD>(MemberIndex);
    return 1;
}

BOOL SimulatedHost::SetupDiGetDeviceInterfaceDetailA(
    HANDLE DeviceInfoSet, const SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData,
    BYTE* DeviceInterfaceDetailData, DWORD DeviceInterfaceDetailDataSize, DWORD* RequiredSize,
    void*) {
    Count(HostOperation::SetupDiGetDeviceInterfaceDetailA);
    LiveHandle* set = Find(DeviceInfoSet, Kind::Set, "SetupDiGetDeviceInterfaceDetailA");
    if (set == nullptr || DeviceInterfaceData.Reserved >= set->snapshot.size())
        return 0;
    const InterfaceRef& iface = set->snapshot[DeviceInterfaceData.Reserved];
    const std::string& path = PathOf(iface);
    const DWORD required = DETAIL_DATA_PATH_OFFSET + static_cast<DWORD>(path.size()) + 1;
    if (RequiredSize != nullptr)
        *RequiredSize = devices_.at(iface.device).description.reportedDetailSize.value_or(required);
    if (DeviceInterfaceDetailData == nullptr || DeviceInterfaceDetailDataSize < required)
        return 0;
    DWORD sizeField = 0;
    std::memcpy(&sizeField, DeviceInterfaceDetailData, sizeof sizeField);
    if (sizeField != SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE)
        return 0;
    std::memcpy(DeviceInterfaceDetailData + DETAIL_DATA_PATH_OFFSET, path.c_str(), path.size() + 1);
    return 1;
}

BOOL SimulatedHost::SetupDiGetDeviceRegistryPropertyA(
    HANDLE DeviceInfoSet, const SP_DEVICE_INTERFACE_DATA& DeviceInterfaceData, DWORD Property,
    BYTE* PropertyBuffer, DWORD PropertyBufferSize, DWORD* RequiredSize) {
    Count(HostOperation::SetupDiGetDeviceRegistryPropertyA);
    LiveHandle* set = Find(DeviceInfoSet, Kind::Set, "SetupDiGetDeviceRegistryPropertyA");
    if (set == nullptr || Property != SPDRP_HARDWAREID ||
        DeviceInterfaceData.Reserved >= set->snapshot.size())
        return 0;
    const VirtualDevice& device =
        devices_.at(set->snapshot[DeviceInterfaceData.Reserved].device).description;
    return WriteHardwareId({device.vendorId, device.productId}, PropertyBuffer, PropertyBufferSize,
                           RequiredSize);
}

BOOL SimulatedHost::SetupDiDestroyDeviceInfoList(HANDLE DeviceInfoSet) {
    Count(HostOperation::SetupDiDestroyDeviceInfoList);
    if (Find(DeviceInfoSet, Kind::Set, "SetupDiDestroyDeviceInfoList") == nullptr)
        return 0;
    live_.erase(DeviceInfoSet);
    --ledger_.setsOpen;
    return 1;
}

HANDLE SimulatedHost::CreateFileA(const char* FileName, DWORD DesiredAccess, DWORD,
                                  const SECURITY_ATTRIBUTES*, DWORD, DWORD FlagsAndAttributes,
                                  HANDLE) {
    Count(HostOperation::CreateFileA);
    lastError_ = ERROR_FILE_NOT_FOUND;
    if (FileName == nullptr)
        return INVALID_HANDLE_VALUE;
    const auto found = pathIndex_.find(std::string_view(FileName));
    if (found == pathIndex_.end())
        return INVALID_HANDLE_VALUE;
    const InterfaceRef& iface = found->second;
    const VirtualDevice& device = devices_.at(iface.device).description;
    const bool overlapped = (FlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
    if (opensHeld_) {
        lastError_ = ERROR_BUSY;
        return INVALID_HANDLE_VALUE;
    }
    if (device.openError != ERROR_SUCCESS) {
        lastError_ = device.openError;
        return INVALID_HANDLE_VALUE;
    }
    if (overlapped && !device.opensOverlapped) {
        lastError_ = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
    }
    const DWORD access = DesiredAccess & (GENERIC_READ | GENERIC_WRITE);
    if (access != 0 && !device.grantsReadWrite) {
        lastError_ = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    const bool reads = (access & GENERIC_READ) != 0;
    const HANDLE handle = NewHandle(LiveHandle{Kind::Device, iface, overlapped, reads, {}});
    const DeviceHandleRecord record{handle, found->first, overlapped, access};
    Keep(ledger_.opens, record);
    ledger_.openNow.emplace(handle, record);
    return handle;
}

BOOL SimulatedHost::CloseHandle(HANDLE Object) {
    Count(HostOperation::CloseHandle);
    if (Object == INVALID_HANDLE_VALUE || Object == NO_HANDLE)
        return 0;
    const auto found = live_.find(Object);
    if (found == live_.end()) {
        const bool issued = Object >= 0x100 && Object < nextHandle_;
        Violation(issued ? "CloseHandle: handle closed twice: " + std::to_string(Object)
                         : "CloseHandle: handle never given out: " + std::to_string(Object));
        return 0;
    }
    if (found->second.kind == Kind::Event) {
        live_.erase(found);
        return 1;
    }
    if (found->second.kind != Kind::Device) {
        Violation("CloseHandle: not a device or event handle: " + std::to_string(Object));
        return 0;
    }
    live_.erase(found);
    ledger_.openNow.erase(Object);
    Keep(ledger_.closes, Object);
    return 1;
}

BOOL SimulatedHost::HidD_GetAttributes(HANDLE HidDeviceObject, HIDD_ATTRIBUTES& Attributes) {
    Count(HostOperation::HidD_GetAttributes);
    const VirtualDevice* device = DeviceBehind(HidDeviceObject, "HidD_GetAttributes");
    if (device == nullptr)
        return 0;
    Attributes.VendorID = device->vendorId;
    Attributes.ProductID = device->productId;
    Attributes.VersionNumber = device->version;
    return 1;
}

BOOL SimulatedHost::ReadString(HANDLE handle, std::optional<std::u16string> VirtualDevice::*field,
                               void* buffer, DWORD length, const char* operation) {
    const VirtualDevice* device = DeviceBehind(handle, operation);
    if (device == nullptr || !(device->*field).has_value() || buffer == nullptr)
        return 0;
    const std::u16string& text = *(device->*field);
    auto* out = static_cast<BYTE*>(buffer);
    const std::size_t units = std::min<std::size_t>(text.size(), length / 2);
    for (std::size_t i = 0; i < units; ++i) {
        out[2 * i] = static_cast<BYTE>(text[i] & 0xFF);
        out[2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
    }
    if (2 * (units + 1) <= length) {
        out[2 * units] = 0;
        out[2 * units + 1] = 0;
    }
    return 1;
}

BOOL SimulatedHost::HidD_GetSerialNumberString(HANDLE HidDeviceObject, void* Buffer,
                                               DWORD BufferLength) {
    Count(HostOperation::HidD_GetSerialNumberString);
    return ReadString(HidDeviceObject, &VirtualDevice::serial, Buffer, BufferLength,
                      "HidD_GetSerialNumberString");
}

BOOL SimulatedHost::HidD_GetManufacturerString(HANDLE HidDeviceObject, void* Buffer,
                                               DWORD BufferLength) {
    Count(HostOperation::HidD_GetManufacturerString);
    return ReadString(HidDeviceObject, &VirtualDevice::manufacturer, Buffer, BufferLength,
                      "HidD_GetManufacturerString");
}

BOOL SimulatedHost::HidD_GetProductString(HANDLE HidDeviceObject, void* Buffer,
                                          DWORD BufferLength) {
    Count(HostOperation::HidD_GetProductString);
    return ReadString(HidDeviceObject, &VirtualDevice::product, Buffer, BufferLength,
                      "HidD_GetProductString");
}

BOOL SimulatedHost::HidD_GetPreparsedData(HANDLE HidDeviceObject, HANDLE& PreparsedData) {
    Count(HostOperation::HidD_GetPreparsedData);
    const VirtualDevice* device = DeviceBehind(HidDeviceObject, "HidD_GetPreparsedData");
    if (device == nullptr || !device->describes)
        return 0;
    PreparsedData = NewHandle(
        LiveHandle{Kind::PreparsedData, live_.at(HidDeviceObject).iface, false, false, {}});
    ++ledger_.preparsedOpen;
    return 1;
}

BOOL SimulatedHost::HidP_GetCaps(HANDLE PreparsedData, HIDP_CAPS& Capabilities) {
    Count(HostOperation::HidP_GetCaps);
    const LiveHandle* data = Find(PreparsedData, Kind::PreparsedData, "HidP_GetCaps");
    if (data == nullptr) {
        if (PreparsedData == NO_HANDLE || PreparsedData == INVALID_HANDLE_VALUE)
            Violation("HidP_GetCaps: no preparsed data");
        return 0;
    }
    // The description was taken while the device was attached; it stays readable.
    const VirtualDevice& device = devices_.at(data->iface.device).description;
    Capabilities.InputReportByteLength = device.inputReportLength;
    Capabilities.OutputReportByteLength = 0;
    Capabilities.FeatureReportByteLength = device.featureReportLength;
    return 1;
}

BOOL SimulatedHost::HidD_FreePreparsedData(HANDLE PreparsedData) {
    Count(HostOperation::HidD_FreePreparsedData);
    if (Find(PreparsedData, Kind::PreparsedData, "HidD_FreePreparsedData") == nullptr) {
        if (PreparsedData == NO_HANDLE || PreparsedData == INVALID_HANDLE_VALUE)
            Violation("HidD_FreePreparsedData: no preparsed data");
        return 0;
    }
    live_.erase(PreparsedData);
    --ledger_.preparsedOpen;
    return 1;
}

BOOL SimulatedHost::HidD_GetFeature(HANDLE HidDeviceObject, void* ReportBuffer,
                                    DWORD ReportBufferLength) {
    Count(HostOperation::HidD_GetFeature);
    const VirtualDevice* device = DeviceBehind(HidDeviceObject, "HidD_GetFeature");
    if (device == nullptr)
        return 0;
    if (!device->answersFeatures) {
        lastError_ = ERROR_SEM_TIMEOUT;
        return 0;
    }
    if (device->featureReadFails || device->featureReportLength == 0 || ReportBuffer == nullptr ||
        ReportBufferLength == 0) {
        lastError_ = ERROR_GEN_FAILURE;
        return 0;
    }
    std::vector<BYTE> answer = EmptyFeatureReport(device->featureReportLength);
    if (answer.size() > ModeByte)
        answer[ModeByte] = device->mode;
    std::memcpy(ReportBuffer, answer.data(),
                std::min<std::size_t>(answer.size(), ReportBufferLength));
    return 1;
}

BOOL SimulatedHost::HidD_SetFeature(HANDLE HidDeviceObject, const void* ReportBuffer,
                                    DWORD ReportBufferLength) {
    Count(HostOperation::HidD_SetFeature);
    VirtualDevice* device = DeviceBehind(HidDeviceObject, "HidD_SetFeature");
    FeatureWrite write;
    if (ReportBuffer != nullptr) {
        const auto* bytes = static_cast<const BYTE*>(ReportBuffer);
        write.bytes.assign(bytes, bytes + ReportBufferLength);
    }
    write.handle = HidDeviceObject;
    if (const auto open = ledger_.openNow.find(HidDeviceObject); open != ledger_.openNow.end())
        write.path = open->second.path;
    write.delivered = device != nullptr && !device->featureWriteFails && device->answersFeatures &&
                      device->featureReportLength != 0 && !write.bytes.empty();
    if (device != nullptr && !write.delivered)
        lastError_ = device->answersFeatures ? ERROR_GEN_FAILURE : ERROR_SEM_TIMEOUT;
    if (write.delivered && !device->keepsMode && write.bytes.size() >= MinCommandReportLength &&
        write.bytes[CommandByte] == static_cast<BYTE>(Command::SetOutputMode))
        device->mode = write.bytes[ArgumentByte];
    Keep(ledger_.featureWrites, write);
    if (featureWriteObserver_)
        featureWriteObserver_(ledger_.featureWrites.back());
    return write.delivered ? 1 : 0;
}

HANDLE SimulatedHost::CreateEventA(const SECURITY_ATTRIBUTES*, BOOL, BOOL, const char*) {
    Count(HostOperation::CreateEventA);
    ++ledger_.eventsCreated;
    return NewHandle(LiveHandle{Kind::Event, {}, false, false, {}});
}

BOOL SimulatedHost::ReadFile(HANDLE File, void* Buffer, DWORD NumberOfBytesToRead,
                             DWORD* NumberOfBytesRead, OVERLAPPED*) {
    Count(HostOperation::ReadFile);
    const VirtualDevice* device = DeviceBehind(File, "ReadFile");
    ReadRecord record{File, NumberOfBytesToRead, 0, false};
    if (const auto live = live_.find(File);
        live != live_.end() && live->second.kind == Kind::Device)
        record.reportLength = devices_.at(live->second.iface.device).description.inputReportLength;
    if (device != nullptr && !device->streams && !live_.at(File).overlapped)
        Violation("ReadFile: a read that waits on a silent device: " + std::to_string(File));
    const bool reads = device != nullptr && live_.at(File).reads;
    record.delivered = reads && device->streams && device->inputReportLength != 0 &&
                       Buffer != nullptr && NumberOfBytesToRead != 0;
    if (record.delivered) {
        // Every byte the caller told is touched, so that a buffer shorter than
        // its told length shows under the address sanitizer.
        std::memset(Buffer, 0, NumberOfBytesToRead);
        if (NumberOfBytesRead != nullptr)
            *NumberOfBytesRead = std::min<DWORD>(NumberOfBytesToRead, device->inputReportLength);
    }
    if (device != nullptr && !record.delivered)
        lastError_ = reads ? ERROR_GEN_FAILURE    // no report waiting
                           : ERROR_ACCESS_DENIED; // a handle without read access
    Keep(ledger_.reads, record);
    return record.delivered ? 1 : 0;
}

} // namespace merovane
