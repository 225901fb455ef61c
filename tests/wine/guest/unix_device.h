// What the Windows scenarios in the test guest run beside themselves: the
// dividers, each one merovane-vhid process (a Linux program, which Wine starts
// like any other) that makes a HID device through /dev/uhid, which Wine's HID
// bus serves as Windows serves a USB HID device; and merovane-ctl.exe.
// Commands go to a device program through a file it follows; its answers and
// what reached the device come back through its log.
#pragma once

#include <string>
#include <vector>

namespace merovane::wine {

// True inside the test guest: merovane-vhid is given (MEROVANE_VHID) and
// /dev/uhid is there.
bool CanMakeDevices();

class UnixDevice {
public:
    // Plugs a device (merovane-vhid's own options follow the serial number,
    // e.g. {"--mode", "2"}) and returns once its hidraw node exists.
    UnixDevice(const std::string& serial, const std::vector<std::string>& options = {});
    ~UnixDevice(); // unplugs it and ends its program
    UnixDevice(const UnixDevice&) = delete;
    UnixDevice& operator=(const UnixDevice&) = delete;

    void Unplug();
    void PlugBack();
    // Sends one input report now.
    void SendInputReport();
    // Every feature report that reached the device, oldest first, as hex
    // pairs: "00 01 02".
    std::vector<std::string> FeatureWrites() const;
    // The feature reads and writes that reached a device started with
    // --stuck, which answers none of them.
    int IgnoredFeatureRequests() const;

private:
    // Sends a command line; waits until the log has a new line starting with
    // `answer`.
    void Command(const std::string& line, const std::string& answer);
    void AwaitLine(const std::string& answer);
    std::vector<std::string> LogLines() const;

    std::string unixFolder_; // the program's files, as Linux names them
    std::string folder_;     // the same, as Windows names them
    std::size_t linesSeen_ = 0;
};

// Runs a shell command line of the guest (bash) to its end; its exit status.
int RunUnix(const std::string& script);

struct ProgramRun {
    unsigned long status = 99;
    std::string out; // as written: lines end in "\r\n"
};

// Runs merovane-ctl.exe (MEROVANE_CTL_EXE, a Windows path) with `arguments`
// to its end; its standard error passes through.
ProgramRun RunCtl(const std::string& arguments);

} // namespace merovane::wine
