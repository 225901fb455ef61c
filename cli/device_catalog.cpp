#include "cli/device_catalog.h"

#include "device/feature_protocol.h"
#include "device/hardware_id.h"

#include <array>
#include <memory>

namespace merovane {

namespace {

constexpr DWORD InterfaceDataSize = 28;
constexpr DWORD AttributesSize = 12;
// A USB string descriptor holds at most 126 UTF-16 units; room for them and
// the terminator.
constexpr DWORD StringBytes = 2 * 127;

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// The paths of the interfaces whose hardware ID names the target product.
std::vector<std::string> TargetPaths(HidHost& host) {
    std::vector<std::string> paths;
    GUID guid;
    host.HidD_GetHidGuid(guid);
    const HANDLE set =
        host.SetupDiGetClassDevsA(guid, nullptr, NO_HANDLE, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA iface;
    iface.cbSize = InterfaceDataSize;
    for (std::int32_t index = 0; host.SetupDiEnumDeviceInterfaces(set, nullptr, guid, index, iface);
         ++index) {
        std::array<BYTE, 64> id{};
        if (!host.SetupDiGetDeviceRegistryPropertyA(set, iface, SPDRP_HARDWAREID, id.data(),
                                                    id.size() - 1, nullptr) ||
            ParseHardwareId(reinterpret_cast<const char*>(id.data())) !=
                HardwareId{TargetVendorId, TargetProductId})
            continue;
        DWORD size = 0;
        host.SetupDiGetDeviceInterfaceDetailA(set, iface, nullptr, 0, &size, nullptr);
        if (size <= DETAIL_DATA_PATH_OFFSET)
            continue;
        std::vector<BYTE> detail(std::size_t{size} + 1, 0);
        detail[0] = static_cast<BYTE>(SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE);
        if (host.SetupDiGetDeviceInterfaceDetailA(set, iface, detail.data(), size, nullptr,
                                                  nullptr))
            paths.emplace_back(reinterpret_cast<const char*>(detail.data()) +
                               DETAIL_DATA_PATH_OFFSET);
    }
    host.SetupDiDestroyDeviceInfoList(set);
    return paths;
}

} // namespace

std::string Utf16leToUtf8(const BYTE* bytes, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        const char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < length) {
            const char16_t low = static_cast<char16_t>(bytes[i + 2] | (bytes[i + 3] << 8));
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(text, unit >= 0xD800 && unit < 0xE000 ? U'\uFFFD' : char32_t{unit});
    }
    return text;
}

OpenDevice::OpenDevice(HidHost& host, const std::string& path) : host_(host) {
    handle_ =
        host_.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, NO_HANDLE);
    // Refused read and write access (another program holds the divider), the
    // feature reports still go through a handle of access 0.
    if (!Opened() && (host_.GetLastError() == ERROR_ACCESS_DENIED ||
                      host_.GetLastError() == ERROR_SHARING_VIOLATION))
        handle_ = host_.CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, NO_HANDLE);
    if (!Opened()) {
        error_ = host_.GetLastError();
        if (error_ == ERROR_SUCCESS)
            error_ = ERROR_GEN_FAILURE;
        return;
    }
    HANDLE preparsed = NO_HANDLE;
    if (host_.HidD_GetPreparsedData(handle_, preparsed)) {
        host_.HidP_GetCaps(preparsed, caps_);
        host_.HidD_FreePreparsedData(preparsed);
        return;
    }
    // A host may open the device only at this first call that needs it: a
    // failure of the kinds an open has is the open's.
    const DWORD error = host_.GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_ACCESS_DENIED ||
        error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY) {
        host_.CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        error_ = error;
    }
}

OpenDevice::~OpenDevice() {
    if (Opened())
        host_.CloseHandle(handle_);
}

std::optional<BYTE> OpenDevice::ReadMode() {
    std::vector<BYTE> report = EmptyFeatureReport(caps_.FeatureReportByteLength);
    if (report.size() < MinModeReportLength ||
        !host_.HidD_GetFeature(handle_, report.data(), static_cast<DWORD>(report.size())))
        return std::nullopt;
    return report[ModeByte];
}

bool OpenDevice::WriteCommand(BYTE command, BYTE argument) {
    const auto report =
        CommandReport(caps_.FeatureReportByteLength, static_cast<Command>(command), argument);
    return report &&
           host_.HidD_SetFeature(handle_, report->data(), static_cast<DWORD>(report->size())) != 0;
}

bool OpenDevice::WriteMode(BYTE mode) {
    return WriteCommand(static_cast<BYTE>(Command::SetOutputMode), mode);
}

bool OpenDevice::SendAuxiliary() {
    return WriteCommand(static_cast<BYTE>(Command::Auxiliary), AuxiliaryArgument);
}

std::optional<USHORT> OpenDevice::Version() {
    HIDD_ATTRIBUTES attributes;
    attributes.Size = AttributesSize;
    if (!host_.HidD_GetAttributes(handle_, attributes))
        return std::nullopt;
    return attributes.VersionNumber;
}

std::optional<std::string> OpenDevice::ReadString(StringRead read) {
    std::array<BYTE, StringBytes + 2> buffer{};
    if (!(host_.*read)(handle_, buffer.data(), StringBytes))
        return std::nullopt;
    return Utf16leToUtf8(buffer.data(), buffer.size());
}

std::vector<TargetInterface> ListTargets(HidHost& host, bool readModes) {
    std::vector<TargetInterface> targets;
    std::vector<std::unique_ptr<OpenDevice>> devices;
    for (const std::string& path : TargetPaths(host)) {
        TargetInterface target;
        target.path = path;
        auto device = std::make_unique<OpenDevice>(host, path);
        target.openError = device->Error();
        if (device->Opened()) {
            target.serial = device->Serial();
            target.manufacturer = device->Manufacturer();
            target.product = device->Product();
            target.version = device->Version().value_or(0);
        }
        targets.push_back(std::move(target));
        devices.push_back(std::move(device));
    }
    for (std::size_t i = 0; readModes && i < devices.size(); ++i) {
        if (devices[i]->Opened()) {
            targets[i].mode = devices[i]->ReadMode();
            targets[i].notAnswering = !targets[i].mode && devices[i]->DidNotAnswer();
            if (!targets[i].mode && devices[i]->HeldUp())
                targets[i].openError = ERROR_BUSY;
        }
    }
    return targets;
}

} // namespace merovane
