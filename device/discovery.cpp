// Discovery: which HID interfaces belong to the target product, listed by
// serial number, and which of them carries the serial number selected in SerNo.
// Scan_USB_devices and FindTheHid walk the interfaces the same way, through
// SetUpEnumeration and ExamineInterface.
#include "device/feature_protocol.h"
#include "window/frm_main.h"

#include <cstring>

namespace merovane {

namespace {

constexpr DWORD InterfaceDataSize = 28;
constexpr DWORD AttributesSize = 12;
constexpr DWORD SecurityAttributesSize = 12;

} // namespace

void frmMain::FillSecurityAttributes() {
    SecAttr.nLength = SecurityAttributesSize;
    SecAttr.lpSecurityDescriptor = 0;
    SecAttr.bInheritHandle = 1;
}

void frmMain::SetUpEnumeration(EnumerationRun& run) {
    FillSecurityAttributes();
    EnumDone = false;
    host_.HidD_GetHidGuid(run.HidGuid);
    // Not tested: without a set the first enumeration call fails and ends the walk.
    DevInfoList = host_.SetupDiGetClassDevsA(run.HidGuid, nullptr, NO_HANDLE,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    run.MemberIndex = 0;
}

frmMain::ExaminedInterface frmMain::ExamineInterface(EnumerationRun& run) {
    ExaminedInterface examined;
    IfaceData.cbSize = InterfaceDataSize;
    CallResult = host_.SetupDiEnumDeviceInterfaces(DevInfoList, nullptr, run.HidGuid,
                                                   run.MemberIndex, IfaceData);
    if (CallResult == 0) {
        EnumDone = true;
        return examined;
    }
    examined.exists = true;

    // Without a buffer the call fails; only the size it reports is used.
    host_.SetupDiGetDeviceInterfaceDetailA(DevInfoList, IfaceData, nullptr, 0, &RequiredSize,
                                           nullptr);
    if (RequiredSize < DETAIL_DATA_PATH_OFFSET) {
        // No room for the record's size field: pass the interface over, with
        // nothing open in the slot that the callers close.
        FeatureHandle = INVALID_HANDLE_VALUE;
        return examined;
    }
    DetailBuffer.assign(std::size_t{RequiredSize} + 1, 0);
    const DWORD sizeField = SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE;
    for (std::size_t i = 0; i < sizeof sizeField; ++i)
        DetailBuffer[i] = static_cast<BYTE>(sizeField >> (8 * i));
    host_.SetupDiGetDeviceInterfaceDetailA(DevInfoList, IfaceData, DetailBuffer.data(),
                                           RequiredSize, &RequiredSize, nullptr);
    // The path runs from behind the size field to its first zero byte; the
    // buffer's spare last byte is always 0, so the terminator is found.
    const auto* path = reinterpret_cast<const char*>(DetailBuffer.data() + DETAIL_DATA_PATH_OFFSET);
    PathName.assign(path, strnlen(path, DetailBuffer.size() - DETAIL_DATA_PATH_OFFSET));

    FeatureHandle = OpenPath(0);
    if (FeatureHandle == INVALID_HANDLE_VALUE && host_.GetLastError() == ERROR_BUSY)
        run.HeldUp = true;
    Attribs.Size = AttributesSize;
    // A failed read must not leave the previous interface's IDs to be matched.
    Attribs.VendorID = 0;
    Attribs.ProductID = 0;
    CallResult = host_.HidD_GetAttributes(FeatureHandle, Attribs);
    examined.isTarget = Attribs.VendorID == TargetVendorId && Attribs.ProductID == TargetProductId;
    if (examined.isTarget) {
        CallResult =
            host_.HidD_GetSerialNumberString(FeatureHandle, run.Strings.data(), StringReadLength);
        if (CallResult != 0)
            examined.serial = WideLowBytes(run.Strings);
    }
    return examined;
}

void frmMain::Scan_USB_devices() {
    // Before anything touches SerNo: the Clicks the scan raises on it must
    // not start a reconnect.
    ModeKnown = false;
    ListFilling = true;
    // The list's widget shows the scan's outcome once the scan is over.
    const DropDownList::Batch listing(SerNo);
    SerNo.Clear();
    SerNo.SetEnabled(false);
    std::int16_t DeviceCount = -1;

    EnumerationRun run;
    SetUpEnumeration(run);
    while (!EnumDone) {
        const ExaminedInterface examined = ExamineInterface(run);
        if (examined.isTarget && examined.serial.has_value()) {
            ++DeviceCount;
            SerNo.AddItem(*examined.serial, DeviceCount);
            SerNo.SetListIndex(DeviceCount);
        }
        if (examined.exists)
            CallResult = host_.CloseHandle(FeatureHandle);
        ++run.MemberIndex;
    }
    CallResult = host_.SetupDiDestroyDeviceInfoList(DevInfoList);
    if (DeviceCount > 0)
        SerNo.SetEnabled(true);
    ListFilling = false;
}

bool frmMain::FindTheHid() {
    DeviceFound = false;
    RetrySelected = false;
    EnumerationRun run;
    SetUpEnumeration(run);
    while (!EnumDone && !DeviceFound) {
        const ExaminedInterface examined = ExamineInterface(run);
        if (examined.exists) {
            // SerNo's text is read afresh for every interface.
            DeviceFound = examined.isTarget && examined.serial == SerNo.Text();
            if (!DeviceFound)
                CallResult = host_.CloseHandle(FeatureHandle);
        }
        ++run.MemberIndex;
    }
    // Destroyed in both outcomes, before the connection opens anything more.
    CallResult = host_.SetupDiDestroyDeviceInfoList(DevInfoList);
    if (!DeviceFound) {
        // Perhaps among the interfaces the host could not open yet.
        RetrySelected = run.HeldUp;
        return false;
    }
    ReadCapabilities();
    OpenInputHandle();
    // Held up by another device's request that the host still waits out:
    // this one was not asked, so it is opened again on a later tick.
    if (InputHandle == INVALID_HANDLE_VALUE && host_.GetLastError() == ERROR_BUSY) {
        CallResult = host_.CloseHandle(FeatureHandle);
        RetrySelected = true;
        return false;
    }
    ArmReadEvent();
    return true;
}

} // namespace merovane
