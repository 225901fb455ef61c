// frmMain: the one window of the tool and the application object. It owns the
// controls, the connection to the selected device and the flags that say how
// far that connection has got. Its procedures are spread over one file per
// concern: discovery, the connection and the feature reports in device/, the
// layout, the controller, the details refresh and the supervision in window/.
//
// Everything runs on the UI thread, one event at a time. The only nesting is
// the Click that setting a list's ListIndex raises before it returns; the flags
// make that harmless: SerNo_Click does nothing while a scan fills the list and
// SendOutputMode writes nothing while DetailsShown is false (always so during
// a refresh).
//
// The window knows no toolkit: its form and controls are views that a backend
// builds from the layout data (window/form_layout.h).
#pragma once

#include "device/api_declarations.h"
#include "device/feature_protocol.h"
#include "device/wide_low_bytes.h"
#include "window/controls.h"
#include "window/form_view.h"

#include <memory>
#include <optional>
#include <vector>

namespace merovane {

// The window's state, between event handlers.
struct FormState {
    // The device with the selected serial number is open through both handles.
    bool DeviceFound = false;
    // The last details refresh ran to its end with a device open.
    bool DetailsShown = false;
    // The current output mode was read from a device since the last scan.
    bool ModeKnown = false;
    // Scan_USB_devices is filling SerNo: the index changes it makes are not
    // the user's picks.
    bool ListFilling = false;
    // The next look for a device searches for the selected serial again
    // instead of rescanning, which would select the last one listed: the
    // last search could not open it, or an interface that may be it, for
    // another device's request (ERROR_BUSY); or the system asked to remove
    // it and then settled.
    bool RetrySelected = false;
    // The enumeration asked for an index past the last interface.
    bool EnumDone = false;

    HANDLE DevInfoList = NO_HANDLE; // valid only inside one scan or search
    SP_DEVICE_INTERFACE_DATA IfaceData;
    DWORD RequiredSize = 0;
    std::vector<BYTE> DetailBuffer;
    AnsiText PathName; // path of the interface last examined

    HANDLE FeatureHandle = NO_HANDLE; // synchronous; the search's slot for every interface
    HANDLE InputHandle = NO_HANDLE;   // overlapped
    HIDD_ATTRIBUTES Attribs;
    HIDP_CAPS Caps; // kept after a close until the next connection
    HANDLE PreparsedData = NO_HANDLE;
    HANDLE ReadEvent = NO_HANDLE; // made once per window life, never closed
    OVERLAPPED ReadOverlap;
    SECURITY_ATTRIBUTES SecAttr;
    BOOL CallResult = 0;
    // The output mode last read from the device or last written to it
    // successfully; -1 before any. A write the device refuses puts the mode
    // list back to it.
    int DeviceMode = -1;
};

class frmMain : private FormState {
public:
    // The window on the form of the backend the program is linked with.
    explicit frmMain(HidHost& host) : frmMain(host, MakeFormView(MainForm)) {}
    frmMain(HidHost& host, std::unique_ptr<FormView> view);
    ~frmMain();
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    const FormState& State() const { return *this; }
    FormView& View() { return *view_; }
    const FormView& View() const { return *view_; }

    // Raises the window's load event; the program calls it once, at start.
    void Load();

private:
    std::unique_ptr<FormView> view_; // made before the controls that use it

public:
    // The controls, in the order the window creates them: each container
    // before its contents, and a later sibling above an earlier one.
    CommandButton& Command1;
    Frame Frame3;
    DropDownList Enc1;
    Frame Frame1;
    DropDownList SerNo;
    IntervalTimer& Timer;
    Label lblSerialNumber;
    Label lblVersion;
    Label lblProduct;
    Label lblManuf;
    Label Label2;
    Label Label5;
    Label Label4;
    Label Label3;

    // Event handlers.
    void Form_Load();
    void Form_Unload();
    void SerNo_Click();
    void Enc1_Click();
    void Command1_Click();
    void Timer_Timer();

    // Discovery.
    void Scan_USB_devices();
    bool FindTheHid();

    // The connection.
    void ReadCapabilities();
    // Opens PathName with read and write access, or with access 0 where those
    // are refused (a collection the system or another program holds).
    HANDLE OpenPath(DWORD FlagsAndAttributes);
    void OpenInputHandle();
    void ArmReadEvent();
    // Marks the connection closed (unless the window is unloading) and closes
    // FeatureHandle, then InputHandle.
    void CloseConnection(bool unloading);

    // The feature reports.
    void SendOutputMode();
    void SendAuxCommand();

    void RefreshDeviceDetails();
    void PollDevice();

    // The system asks to remove the open device: the connection closes and
    // nothing is opened until the request is settled (refused or done).
    void DeviceRemovalRequested();
    void DeviceRemovalSettled();

private:
    // What one enumeration run keeps while it walks the interfaces.
    struct EnumerationRun {
        GUID HidGuid;
        std::int32_t MemberIndex = 0;
        StringBuffer Strings{};
        // An interface could not be opened for another device's request.
        bool HeldUp = false;
    };
    struct ExaminedInterface {
        bool exists = false; // the enumeration has an interface at the index
        bool isTarget = false;
        std::optional<AnsiText> serial;
    };

    bool ReadyToWrite() const;
    // Writes the command's report; false when it could not be written.
    bool WriteCommand(Command command, BYTE argument);
    void SetUpEnumeration(EnumerationRun& run);
    ExaminedInterface ExamineInterface(EnumerationRun& run);
    void FillSecurityAttributes();
    // Raises the unload event unless it has been raised already.
    void Unload();

    HidHost& host_;
    bool loaded_ = false;
    bool unloaded_ = false;
    bool removalRequested_ = false; // and not yet settled
};

} // namespace merovane
