// merovane-vhid: a HID device made through /dev/uhid, so that the kernel's own
// hid core and hidraw driver expose it as /dev/hidrawN to the programs under
// test. It runs inside the test guest; see README.md beside this file.
//
//   merovane-vhid [--serial S] [--name NAME] [--vendor V] [--product P]
//                 [--version V] [--mode M] [--input-length N]
//                 [--output-length N] [--feature-length N]
//                 [--descriptor-hex FILE] [--silent] [--interval-ms MS]
//                 [--ignore-stdin] [--stuck]
//
// Without --descriptor-hex it is a divider: vendor 0x4F3A, product 0x2B16, a
// vendor-page report descriptor without report IDs whose input, output and
// feature reports have the lengths asked for (each length counts the
// report-ID byte, as the host's report lengths do; 0 leaves that report out).
// A feature read is answered as USB hardware does through usbhid: report ID
// first, then the report (byte 1 holds the mode). A feature report
// 00 01 M ... sets the mode to M. While streaming it sends an input report
// [sequence, mode, last command, last argument, 0...] every interval.
// With --descriptor-hex the descriptor is taken from the file (hex pairs) and
// the device sends all-zero input reports of --input-length; feature reads fail.
// With --stuck it never answers a feature read or write, as a crashed firmware
// that still enumerates: the kernel waits for the answer until its own bound.
//
// Commands on stdin, one per line, each answered on stdout once carried out:
//   unplug      destroy the device          -> "unplugged"
//   plug        create it again             -> "ready /dev/hidrawN"
//   silent      stop the input reports      -> "silent"
//   stream      start them again            -> "streaming"
//   input       send one input report now   -> "input-sent"
//   rescue      the same, for a test that frees a read stuck waiting on
//               the device                  -> "rescued"
//   mode M      change the mode             -> "mode M"
//   answer      answer feature requests again (after --stuck) -> "answering"
// End of stdin (unless --ignore-stdin), SIGTERM and SIGINT unplug the device
// and end the program.
// Besides the answers, stdout logs what reaches the device, one line each:
//   "set-feature N: xx xx ..."  (all N bytes the kernel handed over)
//   "output N: xx xx ..."
//   "get-feature ID -> xx xx ..." (the answer given)
//   "ignored get-feature ID" / "ignored set-feature N" (while stuck)
#include "device_program.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/uhid.h>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <vector>

namespace {

using merovane::guest::Hex;
using merovane::guest::Say;

using Bytes = std::vector<std::uint8_t>;

struct Setup {
    std::string serial = "VHID-0001";
    std::string name = "Merovane test divider";
    unsigned vendor = 0x4F3A;
    unsigned product = 0x2B16;
    unsigned version = 0x0123;
    std::uint8_t mode = 0;
    unsigned inputLength = 65;
    unsigned outputLength = 0;
    unsigned featureLength = 3;
    std::optional<Bytes> descriptor; // from --descriptor-hex
    bool streams = true;
    unsigned intervalMs = 20;
    bool readsStdin = true;
    bool answersFeatures = true;
};

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "merovane-vhid: %s\n", what.c_str());
    std::exit(1);
}

Bytes ReadHexFile(const char* path) {
    std::ifstream file(path);
    if (!file)
        Die(std::string("cannot read ") + path);
    Bytes bytes;
    std::string pair;
    while (file >> pair) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(pair.c_str(), &end, 16);
        if (pair.size() != 2 || *end != '\0')
            Die(std::string(path) + ": not a hex pair: " + pair);
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

// One main item of `length` bytes (the report-ID byte counted) of 8-bit fields.
void AddMainItem(Bytes& descriptor, unsigned length, std::uint8_t item) {
    if (length == 0)
        return;
    if (length < 2 || length > 4096)
        Die("a report length must be 0 or 2..4096");
    const unsigned fields = length - 1;
    if (fields <= 0xFF)
        descriptor.insert(descriptor.end(), {0x95, static_cast<std::uint8_t>(fields)});
    else
        descriptor.insert(descriptor.end(), {0x96, static_cast<std::uint8_t>(fields & 0xFF),
                                             static_cast<std::uint8_t>(fields >> 8)});
    descriptor.insert(descriptor.end(), {0x09, 0x01, item, 0x02});
}

Bytes DividerDescriptor(const Setup& setup) {
    Bytes descriptor = {
        0x06, 0x00, 0xFF, // Usage Page (vendor 0xFF00)
        0x09, 0x01,       // Usage (1)
        0xA1, 0x01,       // Collection (Application)
        0x15, 0x00,       //   Logical Minimum (0)
        0x26, 0xFF, 0x00, //   Logical Maximum (255)
        0x75, 0x08,       //   Report Size (8)
    };
    AddMainItem(descriptor, setup.inputLength, 0x81);   // Input (Data,Var,Abs)
    AddMainItem(descriptor, setup.outputLength, 0x91);  // Output (Data,Var,Abs)
    AddMainItem(descriptor, setup.featureLength, 0xB1); // Feature (Data,Var,Abs)
    descriptor.push_back(0xC0);                         // End Collection
    return descriptor;
}

unsigned Number(const char* text) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 0);
    if (*text == '\0' || *end != '\0' || value > 0xFFFF)
        Die(std::string("not a number: ") + text);
    return static_cast<unsigned>(value);
}

Setup ParseArguments(int argc, char** argv) {
    Setup setup;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--silent") {
            setup.streams = false;
            continue;
        }
        if (option == "--ignore-stdin") {
            setup.readsStdin = false;
            continue;
        }
        if (option == "--stuck") {
            setup.answersFeatures = false;
            continue;
        }
        if (i + 1 >= argc)
            Die("missing value after " + option);
        const char* value = argv[++i];
        if (option == "--serial")
            setup.serial = value;
        else if (option == "--name")
            setup.name = value;
        else if (option == "--vendor")
            setup.vendor = Number(value);
        else if (option == "--product")
            setup.product = Number(value);
        else if (option == "--version")
            setup.version = Number(value);
        else if (option == "--mode")
            setup.mode = static_cast<std::uint8_t>(Number(value));
        else if (option == "--input-length")
            setup.inputLength = Number(value);
        else if (option == "--output-length")
            setup.outputLength = Number(value);
        else if (option == "--feature-length")
            setup.featureLength = Number(value);
        else if (option == "--descriptor-hex")
            setup.descriptor = ReadHexFile(value);
        else if (option == "--interval-ms")
            setup.intervalMs = std::max(1u, Number(value));
        else
            Die("unknown option " + option);
    }
    return setup;
}

class Device {
public:
    explicit Device(Setup setup) : setup_(std::move(setup)) {
        descriptor_ = setup_.descriptor ? *setup_.descriptor : DividerDescriptor(setup_);
        if (descriptor_.size() > HID_MAX_DESCRIPTOR_SIZE)
            Die("report descriptor too long");
        uhid_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
        if (uhid_ < 0)
            Die(std::string("/dev/uhid: ") + std::strerror(errno));
    }

    int UhidDescriptor() const { return uhid_; }
    bool Plugged() const { return plugged_; }
    // Waiting for the hidraw node of a fresh plug.
    bool AwaitingNode() const { return plugged_ && started_ && node_.empty(); }

    void Plug() {
        if (plugged_) {
            if (!node_.empty())
                Say("ready " + node_);
            return;
        }
        ++plugs_;
        phys_ = "merovane-vhid/" + std::to_string(::getpid()) + "/" + std::to_string(plugs_);
        uhid_event event{};
        event.type = UHID_CREATE2;
        auto& create = event.u.create2;
        std::snprintf(reinterpret_cast<char*>(create.name), sizeof create.name, "%s",
                      setup_.name.c_str());
        std::snprintf(reinterpret_cast<char*>(create.phys), sizeof create.phys, "%s",
                      phys_.c_str());
        std::snprintf(reinterpret_cast<char*>(create.uniq), sizeof create.uniq, "%s",
                      setup_.serial.c_str());
        std::memcpy(create.rd_data, descriptor_.data(), descriptor_.size());
        create.rd_size = static_cast<std::uint16_t>(descriptor_.size());
        create.bus = 0x03; // BUS_USB
        create.vendor = setup_.vendor;
        create.product = setup_.product;
        create.version = setup_.version;
        if (!Send(event))
            Die(std::string("UHID_CREATE2: ") + std::strerror(errno));
        plugged_ = true;
        started_ = false;
        node_.clear();
    }

    void Unplug() {
        if (!plugged_)
            return;
        uhid_event event{};
        event.type = UHID_DESTROY;
        Send(event); // the kernel removes the hid device before the write returns
        plugged_ = false;
        started_ = false;
        node_.clear();
    }

    // Looks for the hidraw node of the current plug; says "ready" once it is there.
    void LookForNode() {
        if (!AwaitingNode())
            return;
        const std::string node = FindNode();
        if (node.empty())
            return;
        node_ = node;
        Say("ready " + node_);
    }

    void SendInputReport() {
        if (!plugged_ || !started_ || setup_.inputLength < 2)
            return;
        uhid_event event{};
        event.type = UHID_INPUT2;
        const std::size_t size = std::min<std::size_t>(setup_.inputLength - 1, UHID_DATA_MAX);
        event.u.input2.size = static_cast<std::uint16_t>(size);
        if (!setup_.descriptor) {
            const std::uint8_t report[] = {sequence_++, setup_.mode, command_, argument_};
            std::memcpy(event.u.input2.data, report, std::min(size, sizeof report));
        }
        Send(event);
    }

    bool Streams() const { return setup_.streams; }
    void SetStreams(bool streams) { setup_.streams = streams; }
    void SetMode(std::uint8_t mode) { setup_.mode = mode; }
    void AnswerFeatures() { setup_.answersFeatures = true; }

    // Answers one event the kernel sent through /dev/uhid.
    void HandleKernelEvent() {
        uhid_event event{};
        if (::read(uhid_, &event, sizeof event) <= 0)
            Die(std::string("reading /dev/uhid: ") + std::strerror(errno));
        switch (event.type) {
        case UHID_START:
            started_ = true;
            break;
        case UHID_STOP:
            started_ = false;
            break;
        case UHID_GET_REPORT:
            if (setup_.answersFeatures)
                AnswerGetReport(event.u.get_report);
            else
                Say("ignored get-feature " + std::to_string(event.u.get_report.rnum));
            break;
        case UHID_SET_REPORT:
            if (setup_.answersFeatures)
                AnswerSetReport(event.u.set_report);
            else
                Say("ignored set-feature " + std::to_string(event.u.set_report.size));
            break;
        case UHID_OUTPUT:
            Say("output " + std::to_string(event.u.output.size) + ":" +
                Hex(event.u.output.data, event.u.output.size));
            break;
        default: // UHID_OPEN, UHID_CLOSE
            break;
        }
    }

private:
    bool Send(const uhid_event& event) {
        return ::write(uhid_, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
    }

    void AnswerGetReport(const uhid_get_report_req& request) {
        uhid_event reply{};
        reply.type = UHID_GET_REPORT_REPLY;
        reply.u.get_report_reply.id = request.id;
        if (!setup_.descriptor && request.rtype == UHID_FEATURE_REPORT && request.rnum == 0 &&
            setup_.featureLength >= 2) {
            // usbhid hands hidraw the report ID first, then the report.
            Bytes answer(setup_.featureLength, 0);
            answer[1] = setup_.mode;
            std::memcpy(reply.u.get_report_reply.data, answer.data(), answer.size());
            reply.u.get_report_reply.size = static_cast<std::uint16_t>(answer.size());
            Say("get-feature " + std::to_string(request.rnum) + " ->" +
                Hex(answer.data(), answer.size()));
        } else {
            reply.u.get_report_reply.err = EIO;
            Say("get-feature " + std::to_string(request.rnum) + " -> refused");
        }
        Send(reply);
    }

    void AnswerSetReport(const uhid_set_report_req& request) {
        const std::size_t size = std::min<std::size_t>(request.size, UHID_DATA_MAX);
        const bool feature = request.rtype == UHID_FEATURE_REPORT;
        Say(std::string(feature ? "set-feature " : "set-report ") + std::to_string(request.size) +
            ":" + Hex(request.data, size));
        uhid_event reply{};
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply.id = request.id;
        if (feature && !setup_.descriptor && size >= 3) {
            command_ = request.data[1];
            argument_ = request.data[2];
            if (command_ == 1)
                setup_.mode = argument_;
        } else if (!feature || setup_.descriptor) {
            reply.u.set_report_reply.err = EIO;
        }
        Send(reply);
    }

    // The /dev/hidrawN of the hid device whose uevent carries our phys, once
    // a driver is bound to it.
    std::string FindNode() const {
        DIR* devices = ::opendir("/sys/bus/hid/devices");
        if (devices == nullptr)
            return {};
        std::string node;
        const std::string wanted = "HID_PHYS=" + phys_;
        while (const dirent* entry = ::readdir(devices)) {
            const std::string base = std::string("/sys/bus/hid/devices/") + entry->d_name;
            std::ifstream uevent(base + "/uevent");
            std::string line;
            bool ours = false;
            while (std::getline(uevent, line))
                ours = ours || line == wanted;
            if (!ours)
                continue;
            // The node appears while the driver's probe still runs, and until
            // the probe returns the hid core drops the input reports it gets;
            // the driver link is made after it returned.
            struct stat driver {};
            if (::lstat((base + "/driver").c_str(), &driver) != 0)
                break;
            DIR* hidraw = ::opendir((base + "/hidraw").c_str());
            if (hidraw == nullptr)
                break;
            while (const dirent* raw = ::readdir(hidraw)) {
                const std::string candidate = std::string("/dev/") + raw->d_name;
                struct stat status {};
                if (std::strncmp(raw->d_name, "hidraw", 6) == 0 &&
                    ::stat(candidate.c_str(), &status) == 0 && S_ISCHR(status.st_mode))
                    node = candidate;
            }
            ::closedir(hidraw);
            break;
        }
        ::closedir(devices);
        return node;
    }

    Setup setup_;
    Bytes descriptor_;
    int uhid_ = -1;
    bool plugged_ = false;
    bool started_ = false;
    int plugs_ = 0;
    std::string phys_;
    std::string node_;
    std::uint8_t sequence_ = 0;
    std::uint8_t command_ = 0;
    std::uint8_t argument_ = 0;
};

// Carries out one command line; false when the program should end.
bool Obey(Device& device, const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "unplug") {
        device.Unplug();
        Say("unplugged");
    } else if (command == "plug") {
        device.Plug(); // "ready" follows once the node exists
    } else if (command == "silent") {
        device.SetStreams(false);
        Say("silent");
    } else if (command == "stream") {
        device.SetStreams(true);
        Say("streaming");
    } else if (command == "input") {
        device.SendInputReport();
        Say("input-sent");
    } else if (command == "rescue") {
        device.SendInputReport();
        Say("rescued");
    } else if (command == "mode") {
        unsigned mode = 0;
        words >> mode;
        device.SetMode(static_cast<std::uint8_t>(mode));
        Say("mode " + std::to_string(mode));
    } else if (command == "answer") {
        device.AnswerFeatures();
        Say("answering");
    } else if (command == "quit") {
        return false;
    } else if (!command.empty()) {
        Say("unknown command " + command);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const Setup setup = ParseArguments(argc, argv);
    Device device(setup);

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGPIPE);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    const int tickFd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    const long intervalNs = static_cast<long>(setup.intervalMs) * 1000000;
    const itimerspec tick{{intervalNs / 1000000000, intervalNs % 1000000000},
                          {intervalNs / 1000000000, intervalNs % 1000000000}};
    timerfd_settime(tickFd, 0, &tick, nullptr);

    device.Plug();
    std::string pending; // stdin bytes not yet ended by a newline
    bool running = true;
    while (running) {
        pollfd watched[] = {{device.UhidDescriptor(), POLLIN, 0},
                            {setup.readsStdin ? STDIN_FILENO : -1, POLLIN, 0},
                            {signalFd, POLLIN, 0},
                            {tickFd, POLLIN, 0}};
        // While the node of a fresh plug is awaited, look again every 2 ms.
        if (::poll(watched, 4, device.AwaitingNode() ? 2 : -1) < 0 && errno != EINTR)
            Die(std::string("poll: ") + std::strerror(errno));
        if (watched[0].revents & POLLIN)
            device.HandleKernelEvent();
        if (watched[2].revents & POLLIN)
            running = false;
        if (watched[3].revents & POLLIN) {
            std::uint64_t expirations = 0;
            if (::read(tickFd, &expirations, sizeof expirations) > 0 && device.Streams())
                device.SendInputReport();
        }
        if (watched[1].revents & (POLLIN | POLLHUP)) {
            char chunk[256];
            const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (got <= 0)
                running = false;
            else
                pending.append(chunk, static_cast<std::size_t>(got));
            for (std::size_t end; running && (end = pending.find('\n')) != std::string::npos;) {
                const std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                running = Obey(device, line);
            }
        }
        device.LookForNode();
    }
    device.Unplug();
    return 0;
}
