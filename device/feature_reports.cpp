// The two reports the user's actions write to the device: the output mode the
// mode list shows, and the auxiliary command of Command1.
#include "device/feature_protocol.h"
#include "window/frm_main.h"

namespace merovane {

bool frmMain::ReadyToWrite() const {
    // DetailsShown keeps a refresh from echoing the mode it selects back to the device.
    return ModeKnown && DeviceFound && DetailsShown;
}

bool frmMain::WriteCommand(Command command, BYTE argument) {
    const auto report = CommandReport(Caps.FeatureReportByteLength, command, argument);
    if (!report)
        return false;
    CallResult =
        host_.HidD_SetFeature(FeatureHandle, report->data(), static_cast<DWORD>(report->size()));
    return CallResult != 0;
}

void frmMain::SendOutputMode() {
    if (!ReadyToWrite())
        return;
    const auto mode = static_cast<BYTE>(Enc1.ListIndex());
    if (WriteCommand(Command::SetOutputMode, mode)) {
        DeviceMode = mode;
        return;
    }
    // The device did not take the mode: show again the one it has, without
    // writing it (the guard holds the echo back while DetailsShown is false).
    DetailsShown = false;
    Enc1.SetListIndex(DeviceMode);
    DetailsShown = true;
}

void frmMain::SendAuxCommand() {
    if (ReadyToWrite())
        WriteCommand(Command::Auxiliary, AuxiliaryArgument);
}

} // namespace merovane
