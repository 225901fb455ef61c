// Brings the two panels into line with the connection: the device's
// manufacturer, product name and version, and its current output mode.
#include "device/feature_protocol.h"
#include "device/version_text.h"
#include "window/frm_main.h"

namespace merovane {

namespace {

// A caption shows a device string after one blank.
std::string DeviceTextCaption(const StringBuffer& strings) {
    std::string caption(1, ' ');
    caption += WideLowBytes(strings);
    return caption;
}

} // namespace

void frmMain::RefreshDeviceDetails() {
    DetailsShown = false;
    // The mode panel's widgets show the refresh's outcome once it is over.
    const DropDownList::Batch modeList(Enc1);
    const Frame::Batch modePanel(Frame3);
    // Each caption is set once, to what it ends with: emptied, or the
    // device's text when it was read.
    std::string manufacturer;
    std::string product;
    std::string version;
    const auto showCaptions = [&] {
        lblManuf.SetCaption(manufacturer);
        lblProduct.SetCaption(product);
        lblVersion.SetCaption(version);
    };
    Enc1.Clear();
    Enc1.SetEnabled(false);
    Frame3.SetEnabled(false);
    DeviceMode = -1;
    if (!DeviceFound) {
        showCaptions();
        return; // no platform call without a device
    }

    StringBuffer strings{};
    CallResult = host_.HidD_GetManufacturerString(InputHandle, strings.data(), StringReadLength);
    if (CallResult != 0) {
        manufacturer = DeviceTextCaption(strings);
        // The version shows only with the manufacturer.
        version = VersionText(Attribs.VersionNumber);
    }
    CallResult = host_.HidD_GetProductString(InputHandle, strings.data(), StringReadLength);
    if (CallResult != 0)
        product = DeviceTextCaption(strings);
    showCaptions();
    Frame1.SetEnabled(true);

    for (const std::string_view text : OutputModeTexts)
        Enc1.AddItem(std::string(text));

    // A report too short to hold the mode byte counts as a failed read.
    std::vector<BYTE> report = EmptyFeatureReport(Caps.FeatureReportByteLength);
    if (report.size() >= MinModeReportLength) {
        CallResult =
            host_.HidD_GetFeature(FeatureHandle, report.data(), static_cast<DWORD>(report.size()));
        if (CallResult != 0) {
            const BYTE mode = *OutputModeOfReport(report);
            // Raises Enc1's Click; SendOutputMode writes nothing while
            // DetailsShown is false, so the mode is not echoed back.
            Enc1.SetListIndex(mode);
            DeviceMode = mode;
            ModeKnown = true;
            Frame3.SetEnabled(true);
            Enc1.SetEnabled(true);
        }
    }
    DetailsShown = true;
}

} // namespace merovane
