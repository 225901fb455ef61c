// Feature transfers on a Windows HID device that never keep the caller
// waiting much longer than FeatureTransferBound.
//
// HidD_GetFeature and HidD_SetFeature wait for the device for as long as the
// driver does (about 5 s). Here the same IOCTL_HID_GET_FEATURE /
// IOCTL_HID_SET_FEATURE is issued overlapped on a handle opened with
// FILE_FLAG_OVERLAPPED, into a buffer and an OVERLAPPED of its own, and
// cancelled at the bound. The buffer, the OVERLAPPED and its event are freed
// only once the system has completed the request: when a cancellation is not
// completed within a moment, they are kept and freed by a later transfer that
// finds the request completed, so a late completion never writes into freed
// memory or signals a reused handle.
//
// Wine does not pass the wait through: its HID bus makes the kernel request
// inside the call, which returns only when the kernel gives up (5 s). Such a
// late failure counts as no answer too.
#pragma once

// The callers' declarations come before the system's headers, which define
// the callers' constant names as macros (see win32_host.cpp).
#include "device/api_declarations.h"
// After it:
#include <windows.h>

namespace merovane {

enum class FeatureTransferOutcome {
    Done,
    Failed,   // the system's last error says why
    TimedOut, // the device did not answer within the bound
};

// Reads the feature report whose ID is report[0] into `report` (`length`
// bytes); on any other outcome `report` is left as it was.
FeatureTransferOutcome GetFeatureBounded(::HANDLE overlappedFile, void* report, ::DWORD length);
// Writes the `length` bytes of `report`, report ID first.
FeatureTransferOutcome SetFeatureBounded(::HANDLE overlappedFile, const void* report,
                                         ::DWORD length);

} // namespace merovane
