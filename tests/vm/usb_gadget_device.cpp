// merovane-usb-gadget: a divider on a real (virtual) USB bus, for what a uhid
// device cannot show. It runs inside the test guest, whose kernel has the
// dummy_hcd host + device controller pair, gadgetfs and usbhid: this program
// is the USB device side through gadgetfs, and the kernel's usbhid drives it
// like any USB HID device, so hidapi finds a USB parent with the manufacturer
// string and the release number.
//
//   merovane-usb-gadget [--serial S] [--manufacturer M] [--product P]
//                       [--version V] [--mode M] [--feature-length N]
//                       [--product-id ID] [--interfaces N] [--stuck]
//
// Vendor 0x4F3A, product 0x2B16 (or ID: 0x2C16 makes a device that is not a
// divider); N HID interfaces (1 to 3, each with an interrupt endpoint of its
// own), each with a vendor-page report descriptor without
// report IDs: a 65-byte input report (the ID byte counted; it sends none) and
// a feature report of the length asked for (3). A feature read answers the
// report as USB hardware does, without an ID byte ([mode, 0...]); a feature
// report [1, M, ...] sets the mode. One such device at a time (dummy_hcd has
// one port).
//
// With --stuck it takes every feature read (the class GET_REPORT request) and
// never answers it, as a crashed firmware would: usbhid waits out its own
// timeout (5 s), in a wait nothing can interrupt. A feature write cannot be
// left hanging so: gadgetfs takes a SET_REPORT's data and acknowledges it
// before this program sees the request, so a write to it always completes.
//
// stdout: "ready /dev/hidrawN ..." once usbhid made the nodes (one for each
// interface, in no particular order), then one line for
// each report that reaches the device ("set-feature N: xx ...", the bytes as
// they came over the bus) and for each feature read ("get-feature 0 -> ...",
// or "ignored get-feature 0" while stuck).
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
// dummy_hcd's interrupt IN endpoints, one for each interface.
constexpr const char* InterruptEndpoints[] = {"/dev/gadget/ep5in-int", "/dev/gadget/ep10in-int",
                                              "/dev/gadget/ep15in-int"};
constexpr std::uint8_t InterruptAddresses[] = {0x85, 0x8A, 0x8F};
constexpr unsigned MaxInterfaces = 3;
constexpr unsigned InputLength = 65;

struct Setup {
    std::string serial = "MV-USB1";
    std::string manufacturer = "Merovane Instruments";
    std::string product = "Clock Divider";
    unsigned version = 0x0123;
    std::uint8_t mode = 0;
    unsigned featureLength = 3;
    unsigned productId = 0x2B16;
    unsigned interfaces = 1;
    bool stuck = false;
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
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--stuck") {
            setup.stuck = true;
            continue;
        }
        if (i + 1 == argc) {
            std::fprintf(stderr, "merovane-usb-gadget: %s needs a value\n", option.c_str());
            std::exit(2);
        }
        const char* value = argv[++i];
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
        else if (option == "--product-id")
            setup.productId = static_cast<unsigned>(std::strtoul(value, nullptr, 0));
        else if (option == "--interfaces")
            setup.interfaces = static_cast<unsigned>(std::strtoul(value, nullptr, 0));
        else {
            std::fprintf(stderr, "merovane-usb-gadget: unknown option %s\n", option.c_str());
            std::exit(2);
        }
    }
    if (setup.featureLength < 2 || setup.featureLength > 256) {
        std::fprintf(stderr, "merovane-usb-gadget: the feature length must be 2..256\n");
        std::exit(2);
    }
    if (setup.interfaces < 1 || setup.interfaces > MaxInterfaces) {
        std::fprintf(stderr, "merovane-usb-gadget: the interfaces must be 1..3\n");
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

Bytes EndpointDescriptor(unsigned interface, std::uint8_t interval) {
    return {USB_DT_ENDPOINT_SIZE,
            USB_DT_ENDPOINT,
            InterruptAddresses[interface],
            USB_ENDPOINT_XFER_INT,
            64,
            0,
            interval};
}

// Configuration, then the interface, HID and endpoint descriptors of each interface.
Bytes Configuration(const Bytes& report, unsigned interfaces, std::uint8_t interval) {
    Bytes all = {USB_DT_CONFIG_SIZE, USB_DT_CONFIG, 0, 0, Low(interfaces), 1, 0, 0x80, 50};
    for (unsigned interface = 0; interface < interfaces; ++interface) {
        const Bytes described = {USB_DT_INTERFACE_SIZE,
                                 USB_DT_INTERFACE,
                                 Low(interface),
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
        const Bytes endpoint = EndpointDescriptor(interface, interval);
        all.insert(all.end(), described.begin(), described.end());
        all.insert(all.end(), endpoint.begin(), endpoint.end());
    }
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

// The hidraw nodes usbhid made for the device with this serial number, one
// for each interface.
std::vector<std::string> FindNodes(const std::string& serial) {
    DIR* devices = ::opendir("/sys/bus/hid/devices");
    if (devices == nullptr)
        return {};
    std::vector<std::string> nodes;
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
                    nodes.push_back(candidate);
            }
            ::closedir(hidraw);
        }
    }
    ::closedir(devices);
    return nodes;
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
        for (const Bytes& part : {Configuration(report_, setup_.interfaces, 10),
                                  Configuration(report_, setup_.interfaces, 7),
                                  Bytes{USB_DT_DEVICE_SIZE, USB_DT_DEVICE, 0x00, 0x02, 0, 0, 0, 64,
                                        0x3A, 0x4F, Low(setup_.productId), High(setup_.productId),
                                        Low(setup_.version), High(setup_.version), 1, 2, 3, 1}})
            first.insert(first.end(), part.begin(), part.end());
        if (::write(control_, first.data(), first.size()) != static_cast<ssize_t>(first.size()))
            Die("configuring the control endpoint");
    }

    ~Gadget() {
        for (const int interrupt : interrupts_)
            ::close(interrupt);
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
                ConfigureInterruptEndpoints();
        } else if (request.bRequestType == 0x21 && request.bRequest == 0x09) { // SET_REPORT
            std::uint8_t data[512] = {};
            const ssize_t got = ::read(control_, data, std::min<std::size_t>(length, sizeof data));
            const std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
            Say("set-feature " + std::to_string(count) + ":" + Hex(data, count));
            if (count >= 2 && data[0] == 1)
                setup_.mode = data[1];
            return; // the read took the data and acknowledged
        } else if (request.bRequestType == 0xA1 && request.bRequest == 0x01) { // GET_REPORT
            if (setup_.stuck) {
                Say("ignored get-feature 0");
                return; // neither answered nor stalled: the host waits it out
            }
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

    // usbhid needs an interrupt IN endpoint on each interface; they stay silent.
    void ConfigureInterruptEndpoints() {
        if (!interrupts_.empty())
            return;
        for (unsigned interface = 0; interface < setup_.interfaces; ++interface) {
            const int interrupt = ::open(InterruptEndpoints[interface], O_RDWR | O_CLOEXEC);
            if (interrupt < 0)
                Die(InterruptEndpoints[interface]);
            interrupts_.push_back(interrupt);
            Bytes configuration = {1, 0, 0, 0};
            for (const Bytes& part :
                 {EndpointDescriptor(interface, 10), EndpointDescriptor(interface, 7)})
                configuration.insert(configuration.end(), part.begin(), part.end());
            if (::write(interrupt, configuration.data(), configuration.size()) !=
                static_cast<ssize_t>(configuration.size()))
                Die("configuring an interrupt endpoint");
        }
    }

    Setup setup_;
    Bytes report_;
    int control_ = -1;
    std::vector<int> interrupts_;
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
    bool ready = false;
    for (bool running = true; running;) {
        pollfd watched[] = {{gadget.ControlDescriptor(), POLLIN, 0},
                            {STDIN_FILENO, POLLIN, 0},
                            {signalFd, POLLIN, 0}};
        // While the nodes are awaited, look for them every 5 ms.
        if (::poll(watched, 3, ready ? -1 : 5) < 0 && errno != EINTR)
            Die("poll");
        if (watched[0].revents & POLLIN)
            gadget.HandleEvents();
        if (watched[2].revents & POLLIN)
            running = false;
        if (watched[1].revents & (POLLIN | POLLHUP)) {
            char chunk[256];
            running = running && ::read(STDIN_FILENO, chunk, sizeof chunk) > 0;
        }
        if (!ready) {
            const std::vector<std::string> nodes = FindNodes(setup.serial);
            ready = nodes.size() == setup.interfaces;
            std::string line = "ready";
            for (const std::string& node : nodes)
                line += " " + node;
            if (ready)
                Say(line);
        }
    }
    return 0;
}
