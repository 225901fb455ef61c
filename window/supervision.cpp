// The timer's watch over the connection: each tick probes the open device with
// a read that takes an input report only if one is waiting; a device that does
// not answer is closed, and while none is open every tick rescans and opens the
// device the scan leaves selected.
#include "window/frm_main.h"

#include <array>
#include <vector>

namespace merovane {

namespace {

constexpr int AnsweringInterval = 500;  // ms, while the device answers
constexpr int LostDeviceInterval = 250; // ms, from a loss until the next good probe
// Room for the report-ID byte and 64 report bytes; a longer input report gets
// a buffer of its own length, so the read never runs past its buffer.
constexpr std::size_t MinReadBufferSize = 65;

} // namespace

void frmMain::Timer_Timer() {
    PollDevice();
}

void frmMain::PollDevice() {
    if (DeviceFound) {
        // The usual buffer lives on the stack; only a longer report takes one
        // from the heap.
        std::array<BYTE, MinReadBufferSize> usualBuffer{};
        std::vector<BYTE> longBuffer;
        BYTE* ReadBuffer = usualBuffer.data();
        if (Caps.InputReportByteLength > MinReadBufferSize) {
            longBuffer.assign(Caps.InputReportByteLength, 0);
            ReadBuffer = longBuffer.data();
        }
        DWORD bytesRead = 0;
        CallResult = host_.ReadFile(InputHandle, ReadBuffer, Caps.InputReportByteLength, &bytesRead,
                                    &ReadOverlap);
        if (CallResult != 0) {
            Timer.SetInterval(AnsweringInterval);
            return;
        }
        // Lost, whether the read failed or would have had to wait: the read
        // leaves nothing outstanding, so the buffer may go with the tick.
        CloseConnection(false);
        Timer.SetInterval(LostDeviceInterval);
        DetailsShown = false;
    }
    DetailsShown = false;
    // The device last looked for is present but could not be opened yet:
    // look for it again, keeping the serial the user picked.
    if (!RetrySelected)
        Scan_USB_devices();
    DeviceFound = FindTheHid();
    RefreshDeviceDetails();
}

} // namespace merovane
