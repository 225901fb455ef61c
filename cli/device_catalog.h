// The clock dividers a host offers, for the command line: every target
// interface with what can be read from it, or why it could not be opened; and
// an open device to read and write modes on.
#pragma once

#include "device/api_declarations.h"

#include <optional>
#include <string>
#include <vector>

namespace merovane {

struct TargetInterface {
    std::string path;
    // ERROR_SUCCESS when the interface was opened and read; otherwise why
    // the open failed (ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ...):
    // ERROR_BUSY when another divider's unanswered request kept the host
    // from opening it, at the open or at the mode read; it was not asked.
    DWORD openError = ERROR_SUCCESS;
    // Device strings in UTF-8; nothing when the device did not give them.
    std::optional<std::string> serial;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    USHORT version = 0;
    // The mode byte the device reports; nothing when the read failed.
    std::optional<BYTE> mode;
    // The device did not answer the mode read in time (ERROR_SEM_TIMEOUT).
    bool notAnswering = false;

    bool Opened() const { return openError == ERROR_SUCCESS; }
};

// Every interface with the target vendor and product ID, in enumeration
// order. All are opened and their strings read first, then, with
// `readModes`, their modes, and all are closed again: a divider that does not
// answer costs the host's bound once, and on Linux no open comes after it
// (the kernel would hold it).
std::vector<TargetInterface> ListTargets(HidHost& host, bool readModes = true);

// A target interface, open for feature reports until destroyed.
class OpenDevice {
public:
    // Opens `path`; Opened() tells whether that worked, Error() why not.
    OpenDevice(HidHost& host, const std::string& path);
    ~OpenDevice();
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;

    bool Opened() const { return handle_ != INVALID_HANDLE_VALUE; }
    DWORD Error() const { return error_; }
    USHORT FeatureReportLength() const { return caps_.FeatureReportByteLength; }

    // The mode byte the device reports; nothing when the read fails or the
    // device's feature report has no mode byte.
    std::optional<BYTE> ReadMode();
    // Writes a command report; false when the device's report has no room
    // for it or the device refused it.
    bool WriteMode(BYTE mode);
    bool SendAuxiliary();
    // After a failed read or write: the device did not answer in time.
    bool DidNotAnswer() const { return host_.GetLastError() == ERROR_SEM_TIMEOUT; }
    // After a failed read or write: the host could not reach the device yet
    // for another device's unanswered request; this one was not asked.
    bool HeldUp() const { return host_.GetLastError() == ERROR_BUSY; }

    std::optional<std::string> Serial() { return ReadString(&HidHost::HidD_GetSerialNumberString); }
    std::optional<std::string> Manufacturer() {
        return ReadString(&HidHost::HidD_GetManufacturerString);
    }
    std::optional<std::string> Product() { return ReadString(&HidHost::HidD_GetProductString); }
    std::optional<USHORT> Version();

private:
    using StringRead = BOOL (HidHost::*)(HANDLE, void*, DWORD);
    std::optional<std::string> ReadString(StringRead read);
    bool WriteCommand(BYTE command, BYTE argument);

    HidHost& host_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DWORD error_ = ERROR_SUCCESS;
    HIDP_CAPS caps_;
};

// UTF-16LE text (to its first zero unit or the end) as UTF-8; unpaired
// surrogates become U+FFFD.
std::string Utf16leToUtf8(const BYTE* bytes, std::size_t length);

} // namespace merovane
