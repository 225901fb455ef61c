// merovane-usb-gadget: a divider on a real (virtual) USB bus, for what a uhid
// device cannot show. It runs inside the test guest, whose kernel has the
// dummy_hcd host + device controller pair, gadgetfs and usbhid: this program
// is the USB device side through gadgetfs, and the kernel's usbhid drives it
// like any USB HID device, so hidapi finds a USB parent with the manufacturer
// string and the release number.
//
//   merovane-usb-gadget [--serial S] [--manufacturer M] [--product P]
//                       [--version V] [--mode M] [--feature-length N]
//
// Vendor 0x4F3A, product 0x2B16; a vendor-page report descriptor without
// report IDs: a 65-byte input report (the ID byte counted; it sends none) and
// a feature report of the length asked for (3). A feature read answers the
// report as USB hardware does, without an ID byte ([mode, 0...]); a feature
// report [1, M, ...] sets the mode. One such device at a time (dummy_hcd has
// one port).
//
// stdout: "ready /dev/hidrawN" once usbhid made the node, then one line for
// each report that reaches the device ("set-feature N: xx ...", the bytes as
// they came over the bus) and for each feature read ("get-feature 0 -> ...").
// End of stdin, SIGTERM and SIGINT disconnect the device and end the program.
#include "device_program.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/usb/ch9.h>
#include <linux/usb/gadgetfs.h>
#include <poll.h>
#include <string>
#include <sys/mount.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using merovane::guest::Hex;
using merovane::guest::Say;

using Bytes = std::vector<std::uint8_t>;

constexpr const char* GadgetDirectory = "/dev/gadget";
constexpr const char* ControlEndpoint = "/dev/gadget/dummy_udc";
constexpr const char* InterruptEndpoint = "/dev/gadget/ep5in-int";
constexpr std::uint8_t InterruptAddress = 0x85; // endpoint 5, IN
constexpr unsigned InputLength = 65;

struct Setup {
    std::string serial = "MV-USB1";
    std::string manufacturer = "Merovane Instruments";
    std::string product = "Clock Divider";
    unsigned version = 0x0123;
    std::uint8_t mode = 0;
    unsigned featureLength = 3;
};

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "merovane-usb-gadget: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

std::uint8_t Low(unsigned value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}
std::uint8_t High(unsigned value) {
    return static_cast<std::uint8_t>(value >> 8);
}

Setup ParseArguments(int argc, char** argv) {
    Setup setup;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--serial")
            setup.serial = value;
        else if (option == "--manufacturer")
            setup.manufacturer = value;
        else if (option == "--product")
            setup.product = value;
        else if (option == "--version")
            setup.version = static_cast<unsigned>(std::strtoul(value, nullptr, 0));
        else if (option == "--mode")
            setup.mode = static_cast<std::uint8_t>(std::strtoul(value, nullptr, 0));
        else if (option == "--feature-length")
            setup.featureLength = static_cast<unsigned>(std::strtoul(value, nullptr, 0));
        else {
            std::fprintf(stderr, "merovane-usb-gadget: unknown option %s\n", option.c_str());
            std::exit(2);
        }
    }
    if (setup.featureLength < 2 || setup.featureLength > 256) {
        std::fprintf(stderr, "merovane-usb-gadget: the feature length must be 2..256\n");
        std::exit(2);
    }
    return setup;
}

Bytes ReportDescriptor(const Setup& setup) {
    return {0x06, 0x00,
            0xFF,       // Usage Page (vendor 0xFF00)
            0x09, 0x01, // Usage (1)
            0xA1, 0x01, // Collection (Application)
            0x15, 0x00, //   Logical Minimum (0)
            0x26, 0xFF,
            0x00,                       //   Logical Maximum (255)
            0x75, 0x08,                 //   Report Size (8)
            0x95, Low(InputLength - 1), //   Report Count
            0x09, 0x01,
            0x81, 0x02,                         //   Usage (1), Input
            0x95, Low(setup.featureLength - 1), //   Report Count
            0x09, 0x01,
            0xB1, 0x02, //   Usage (1), Feature
            0xC0};      // End Collection
}

Bytes EndpointDescriptor(std::uint8_t interval) {
    return {USB_DT_ENDPOINT_SIZE,
            USB_DT_ENDPOINT,
            InterruptAddress,
            USB_ENDPOINT_XFER_INT,
            64,
            0,
            interval};
}

// Configuration, interface, HID and endpoint descriptors.
Bytes Configuration(const Bytes& report, std::uint8_t interval) {
    Bytes all = {USB_DT_CONFIG_SIZE,
                 USB_DT_CONFIG,
                 0,
                 0,
                 1,
                 1,
                 0,
                 0x80,
                 50,
                 USB_DT_INTERFACE_SIZE,
                 USB_DT_INTERFACE,
                 0,
                 0,
                 1,
                 USB_CLASS_HID,
                 0,
                 0,
                 0,
                 9,
                 0x21,
                 0x11,
                 0x01,
                 0,
                 1,
                 0x22,
                 Low(report.size()),
                 High(report.size())};
    const Bytes endpoint = EndpointDescriptor(interval);
    all.insert(all.end(), endpoint.begin(), endpoint.end());
    all[2] = Low(all.size());
    all[3] = High(all.size());
    return all;
}

Bytes StringDescriptor(const std::string& text) {
    Bytes descriptor = {Low(2 + 2 * text.size()), USB_DT_STRING};
    for (const char c : text) {
        descriptor.push_back(static_cast<std::uint8_t>(c));
        descriptor.push_back(0);
    }
    return descriptor;
}

// The hidraw node usbhid made for the device with this serial number.
std::string FindNode(const std::string& serial) {
    DIR* devices = ::opendir("/sys/bus/hid/devices");
    if (devices == nullptr)
        return {};
    std::string node;
    while (const dirent* entry = ::readdir(devices)) {
        const std::string base = std::string("/sys/bus/hid/devices/") + entry->d_name;
        std::ifstream uevent(base + "/uevent");
        bool usb = false;
        bool ours = false;
        for (std::string line; std::getline(uevent, line);) {
            usb = usb || line.rfind("HID_PHYS=usb-dummy_hcd", 0) == 0;
            ours = ours || line == "HID_UNIQ=" + serial;
        }
        if (!usb || !ours)
            continue;
        if (DIR* hidraw = ::opendir((base + "/hidraw").c_str())) {
            while (const dirent* raw = ::readdir(hidraw)) {
                struct stat status {};
                const std::string candidate = std::string("/dev/") + raw->d_name;
                if (std::strncmp(raw->d_name, "hidraw", 6) == 0 &&
                    ::stat(candidate.c_str(), &status) == 0 && S_ISCHR(status.st_mode))
                    node = candidate;
            }
            ::closedir(hidraw);
        }
    }
    ::closedir(devices);
    return node;
}

class Gadget {
public:
    explicit Gadget(Setup setup) : setup_(std::move(setup)), report_(ReportDescriptor(setup_)) {
        if (::access(ControlEndpoint, F_OK) != 0) {
            ::mkdir(GadgetDirectory, 0755);
            if (::mount("gadgetfs", GadgetDirectory, "gadgetfs", 0, nullptr) != 0)
                Die("mounting gadgetfs");
        }
        control_ = ::open(ControlEndpoint, O_RDWR | O_CLOEXEC);
        if (control_ < 0)
            Die(ControlEndpoint);
        // Tag 0, the full-speed and high-speed configurations, the device descriptor.
        Bytes first = {0, 0, 0, 0};
        for (const Bytes& part :
             {Configuration(report_, 10), Configuration(report_, 7),
              Bytes{USB_DT_DEVICE_SIZE, USB_DT_DEVICE, 0x00, 0x02, 0, 0, 0, 64, 0x3A, 0x4F, 0x16,
                    0x2B, Low(setup_.version), High(setup_.version), 1, 2, 3, 1}})
            first.insert(first.end(), part.begin(), part.end());
        if (::write(control_, first.data(), first.size()) != static_cast<ssize_t>(first.size()))
            Die("configuring the control endpoint");
    }

    ~Gadget() {
        if (interrupt_ >= 0)
            ::close(interrupt_);
        ::close(control_); // disconnects the device
    }

    int ControlDescriptor() const { return control_; }

    void HandleEvents() {
        usb_gadgetfs_event events[5];
        const ssize_t got = ::read(control_, events, sizeof events);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                return;
            Die("reading events");
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(got) / sizeof events[0]; ++i)
            if (events[i].type == GADGETFS_SETUP)
                Answer(events[i].u.setup);
    }

private:
    void Answer(const usb_ctrlrequest& request) {
        const unsigned value = request.wValue;
        const unsigned length = request.wLength;
        const bool in = (request.bRequestType & USB_DIR_IN) != 0;
        Bytes answer;
        if (request.bRequest == USB_REQ_GET_DESCRIPTOR && request.bRequestType == 0x81 &&
            High(value) == 0x22) {
            answer = report_;
        } else if (request.bRequest == USB_REQ_GET_DESCRIPTOR && request.bRequestType == 0x80 &&
                   High(value) == USB_DT_STRING) {
            const unsigned index = Low(value);
            answer = index == 0   ? Bytes{4, USB_DT_STRING, 0x09, 0x04}
                     : index == 1 ? StringDescriptor(setup_.manufacturer)
                     : index == 2 ? StringDescriptor(setup_.product)
                                  : StringDescriptor(setup_.serial);
        } else if (request.bRequest == USB_REQ_SET_CONFIGURATION && request.bRequestType == 0) {
            if (value == 1)
                ConfigureInterruptEndpoint();
        } else if (request.bRequestType == 0x21 && request.bRequest == 0x09) { // SET_REPORT
            std::uint8_t data[512] = {};
            const ssize_t got = ::read(control_, data, std::min<std::size_t>(length, sizeof data));
            const std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
            Say("set-feature " + std::to_string(count) + ":" + Hex(data, count));
            if (count >= 2 && data[0] == 1)
                setup_.mode = data[1];
            return; // the read took the data and acknowledged
        } else if (request.bRequestType == 0xA1 && request.bRequest == 0x01) { // GET_REPORT
            answer.assign(setup_.featureLength - 1, 0);
            answer[0] = setup_.mode;
            Say("get-feature 0 ->" + Hex(answer.data(), answer.size()));
        } else if (!(request.bRequestType == 0x21 && request.bRequest == 0x0A) && // SET_IDLE
                   request.bRequest != USB_REQ_SET_INTERFACE) {
            Stall(in);
            return;
        }
        std::uint8_t none = 0;
        if (in) {
            if (answer.size() > length)
                answer.resize(length);
            [[maybe_unused]] const ssize_t sent = ::write(control_, answer.data(), answer.size());
        } else {
            [[maybe_unused]] const ssize_t acknowledged = ::read(control_, &none, 0);
        }
    }

    // A read in the IN direction or a write in the OUT direction stalls.
    void Stall(bool in) {
        std::uint8_t none = 0;
        [[maybe_unused]] const ssize_t stalled =
            in ? ::read(control_, &none, 0) : ::write(control_, &none, 0);
    }

    // usbhid needs an interrupt IN endpoint; it stays silent.
    void ConfigureInterruptEndpoint() {
        if (interrupt_ >= 0)
            return;
        interrupt_ = ::open(InterruptEndpoint, O_RDWR | O_CLOEXEC);
        if (interrupt_ < 0)
            Die(InterruptEndpoint);
        Bytes configuration = {1, 0, 0, 0};
        for (const Bytes& part : {EndpointDescriptor(10), EndpointDescriptor(7)})
            configuration.insert(configuration.end(), part.begin(), part.end());
        if (::write(interrupt_, configuration.data(), configuration.size()) !=
            static_cast<ssize_t>(configuration.size()))
            Die("configuring the interrupt endpoint");
    }

    Setup setup_;
    Bytes report_;
    int control_ = -1;
    int interrupt_ = -1;
};

} // namespace

int main(int argc, char** argv) {
    const Setup setup = ParseArguments(argc, argv);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGPIPE);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

    Gadget gadget(setup);
    std::string node;
    for (bool running = true; running;) {
        pollfd watched[] = {{gadget.ControlDescriptor(), POLLIN, 0},
                            {STDIN_FILENO, POLLIN, 0},
                            {signalFd, POLLIN, 0}};
        // While the node is awaited, look for it every 5 ms.
        if (::poll(watched, 3, node.empty() ? 5 : -1) < 0 && errno != EINTR)
            Die("poll");
        if (watched[0].revents & POLLIN)
            gadget.HandleEvents();
        if (watched[2].revents & POLLIN)
            running = false;
        if (watched[1].revents & (POLLIN | POLLHUP)) {
            char chunk[256];
            running = running && ::read(STDIN_FILENO, chunk, sizeof chunk) > 0;
        }
        if (node.empty() && !(node = FindNode(setup.serial)).empty())
            Say("ready " + node);
    }
    return 0;
}
