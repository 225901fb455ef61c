// A virtual HID device for the simulated host, described as data: what it is,
// what it answers and how it misbehaves.
#pragma once

#include "device/api_declarations.h"
#include "device/feature_protocol.h"

#include <optional>
#include <string>
#include <vector>

namespace merovane {

struct VirtualDevice {
    // One path per HID interface; the interfaces share everything below.
    // Empty: the host names a single interface itself.
    std::vector<std::string> interfaces = {};
    USHORT vendorId = TargetVendorId;
    USHORT productId = TargetProductId;
    USHORT version = 0x0100;
    // UTF-16 strings of any length and any code units; none: the read fails.
    std::optional<std::u16string> serial = u"";
    std::optional<std::u16string> manufacturer = u"";
    std::optional<std::u16string> product = u"";
    // Report lengths, the report-ID byte counted; 0: no report of that type.
    USHORT inputReportLength = 65;
    USHORT featureReportLength = 3;
    // The output mode the device is in and reports (any byte value).
    BYTE mode = 0;
    // Sends input reports continuously, so that one is always waiting.
    bool streams = true;
    bool featureReadFails = false;
    bool featureWriteFails = false;
    // False: feature reads and writes fail with ERROR_SEM_TIMEOUT, as a real
    // host's do when the device did not answer in time (without the wait).
    bool answersFeatures = true;
    // True: mode reports are delivered but the device stays in its mode.
    bool keepsMode = false;
    // ERROR_SUCCESS: the device opens. Otherwise every open fails with this
    // error: ERROR_ACCESS_DENIED (no permission), ERROR_SHARING_VIOLATION
    // (held for exclusive use elsewhere).
    DWORD openError = ERROR_SUCCESS;
    // False: only overlapped opens fail (the device takes no second reader).
    bool opensOverlapped = true;
    // False: opens asking for read or write access fail with
    // ERROR_ACCESS_DENIED, as on a collection the system holds for itself (a
    // keyboard, a mouse); opens with access 0 succeed. Such a handle answers
    // the attributes, the strings and feature reports, but reads fail.
    bool grantsReadWrite = true;
    // False: the device's report description cannot be read.
    bool describes = true;
    // A misbehaving host: the detail-record size query answers this instead
    // of the size the path needs.
    std::optional<DWORD> reportedDetailSize = std::nullopt;
};

} // namespace merovane
