// Real HID devices for the guest scenarios: each GuestDevice is one
// merovane-vhid process that made a device through /dev/uhid, which the
// kernel exposes as /dev/hidrawN. The test plugs, unplugs and silences it and
// reads back every feature report that reached it.
#pragma once

#include "device/api_declarations.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace merovane::guest {

using Bytes = std::vector<BYTE>;

// What the device program is told to be.
struct DeviceSetup {
    std::string serial;
    // The product string hidapi reports for a uhid device (its name).
    std::string name = "Merovane test divider";
    USHORT vendorId = 0x4F3A;
    USHORT productId = 0x2B16;
    USHORT version = 0x0123;
    BYTE mode = 0;
    // Lengths with the report-ID byte counted; 0: no report of that type.
    USHORT inputLength = 65;
    USHORT outputLength = 0;
    USHORT featureLength = 3;
    // Sends input reports on its own every 20 ms.
    bool streams = true;
    // False: never answers a feature read or write (a crashed firmware that
    // still enumerates); the kernel waits for it until its own bound.
    bool answersFeatures = true;
    // A report descriptor file (hex pairs) instead of the divider's own.
    std::string descriptorHexFile;
    // On the guest's virtual USB bus (merovane-usb-gadget, driven by usbhid)
    // instead of uhid: it has a manufacturer string and a release number as
    // hidapi reads them, and no input reports. Only one at a time; it cannot
    // be unplugged but by its end.
    bool onUsbBus = false;
    std::string manufacturer;
};

// A clock divider: the given serial number, in `mode`, 65-byte input and
// 3-byte feature reports.
DeviceSetup Divider(std::string serial, BYTE mode = 0);
// A clock divider on the virtual USB bus: manufacturer "Merovane Instruments",
// product "Clock Divider", release 0x0123, 65-byte input and 3-byte feature reports.
DeviceSetup UsbDivider(std::string serial, BYTE mode = 0);
// A HID interface on the virtual USB bus that is no divider (product 0x2C16,
// the divider's vendor-page descriptor), as the vendor interfaces of gaming
// mice, receivers and headsets are: nothing but the tool under test opens it.
DeviceSetup UsbOtherInterface(std::string serial);
// A USB receiver's keyboard (Logitech C534's descriptor): not a target.
DeviceSetup Keyboard();
// A clock divider whose firmware hangs: it answers no feature request and
// sends no input reports.
DeviceSetup StuckDivider(std::string serial);
// The same on the virtual USB bus: usbhid waits out its feature reads in a
// wait nothing interrupts; its feature writes complete (see the gadget).
DeviceSetup StuckUsbDivider(std::string serial);

// True where devices can be made (inside the guest, as root).
bool CanMakeDevices();

class GuestDevice {
public:
    // Plugs the device: returns once its hidraw node exists. Throws when the
    // device program fails.
    explicit GuestDevice(DeviceSetup setup);
    // Unplugs the device and ends its program.
    ~GuestDevice();
    GuestDevice(const GuestDevice&) = delete;
    GuestDevice& operator=(const GuestDevice&) = delete;

    const DeviceSetup& Setup() const { return setup_; }
    // The device's hidraw node while plugged; the last one after an unplug.
    const std::string& Node() const { return node_; }
    bool Plugged() const { return plugged_; }

    // Removes the device from the system (its node goes at once).
    void Unplug();
    // Plugs it in again; it gets whatever node the kernel gives it.
    void PlugBack();
    // Stops and restarts the input reports the device sends on its own.
    void Silence();
    void Stream();
    // The device takes another mode by itself, not through the host: later
    // feature reads report it.
    void ChangeMode(BYTE mode);
    // A stuck divider answers feature requests again (its firmware recovered).
    void AnswerAgain();
    // Sends one input report now: it waits in every open handle's queue once
    // this returns.
    void SendInputReport();
    // Sends one input report from another thread, e.g. one that rescues a read
    // stuck waiting on this device. Safe while the test's thread is inside a
    // host call; the answer is collected by the next command.
    void SendInputReportUnanswered();

    // Every feature report that reached the device, oldest first, with all the
    // bytes the kernel handed over (report ID first).
    std::vector<Bytes> FeatureWrites();
    // The same, once there are at least `count` of them. A device on the USB
    // bus logs a report just after the host's call has returned (the bus
    // acknowledges it first), so a scenario waits for the reports it caused.
    std::vector<Bytes> FeatureWritesOnceThereAre(std::size_t count);
    // The feature reads the device answered.
    int FeatureReads();
    // The feature reads and writes that reached it while it did not answer.
    int IgnoredFeatureRequests();

private:
    // Sends a command line and reads the device's lines until one starts
    // with `answer`; returns that line.
    std::string Command(const std::string& line, const std::string& answer);
    std::string AwaitLine(const std::string& prefix);
    // Reads what the device says next, waiting for it; false at its end.
    bool ReadMore();
    void Collect(const std::string& line);
    // Reads whatever the device has said and not yet been collected.
    void Drain();

    DeviceSetup setup_;
    pid_t pid_ = -1;
    int toDevice_ = -1;
    int fromDevice_ = -1;
    std::string pending_;
    std::string node_;
    bool plugged_ = false;
    std::vector<Bytes> featureWrites_;
    int featureReads_ = 0;
    int ignoredFeatureRequests_ = 0;
};

} // namespace merovane::guest
