#include "support/guest_device.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace merovane::guest {
namespace {

// How long a device program may take to answer before the test gives up on
// it. Only a broken device program ever gets near it.
constexpr int AnswerDeadlineMs = 120000;

std::string Hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

Bytes ParseHexBytes(const std::string& text) {
    Bytes bytes;
    std::istringstream words(text);
    std::string pair;
    while (words >> pair)
        bytes.push_back(static_cast<BYTE>(std::stoul(pair, nullptr, 16)));
    return bytes;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

DeviceSetup Divider(std::string serial, BYTE mode) {
    DeviceSetup setup;
    setup.serial = std::move(serial);
    setup.mode = mode;
    return setup;
}

DeviceSetup UsbDivider(std::string serial, BYTE mode) {
    DeviceSetup setup = Divider(std::move(serial), mode);
    setup.onUsbBus = true;
    setup.name = "Clock Divider";
    setup.manufacturer = "Merovane Instruments";
    setup.streams = false;
    return setup;
}

DeviceSetup UsbOtherInterface(std::string serial) {
    DeviceSetup setup = UsbDivider(std::move(serial));
    setup.productId = 0x2C16;
    setup.name = "Vendor Interface";
    return setup;
}

DeviceSetup Keyboard() {
    DeviceSetup setup;
    setup.name = "Logitech USB Receiver";
    setup.vendorId = 0x046D;
    setup.productId = 0xC534;
    setup.version = 0x2901;
    setup.inputLength = 9;
    setup.featureLength = 0;
    setup.streams = false; // no keys pressed
    setup.descriptorHexFile =
        std::string(MEROVANE_TEST_DATA_DIR) + "/descriptors/keyboard_logitech_c534.hex";
    return setup;
}

DeviceSetup StuckDivider(std::string serial) {
    DeviceSetup setup = Divider(std::move(serial));
    setup.streams = false;
    setup.answersFeatures = false;
    return setup;
}

DeviceSetup StuckUsbDivider(std::string serial) {
    DeviceSetup setup = UsbDivider(std::move(serial));
    setup.answersFeatures = false;
    return setup;
}

bool CanMakeDevices() {
    return ::access("/dev/uhid", R_OK | W_OK) == 0;
}

GuestDevice::GuestDevice(DeviceSetup setup) : setup_(std::move(setup)) {
    std::vector<std::string> arguments;
    if (setup_.onUsbBus) {
        arguments = {MEROVANE_USB_GADGET_PROGRAM,
                     "--serial",
                     setup_.serial,
                     "--manufacturer",
                     setup_.manufacturer,
                     "--product",
                     setup_.name,
                     "--version",
                     Hex4(setup_.version),
                     "--mode",
                     std::to_string(setup_.mode),
                     "--feature-length",
                     std::to_string(setup_.featureLength),
                     "--product-id",
                     Hex4(setup_.productId)};
        if (!setup_.answersFeatures)
            arguments.push_back("--stuck");
    } else {
        arguments = {MEROVANE_VHID_PROGRAM,
                     "--serial",
                     setup_.serial,
                     "--name",
                     setup_.name,
                     "--vendor",
                     Hex4(setup_.vendorId),
                     "--product",
                     Hex4(setup_.productId),
                     "--version",
                     Hex4(setup_.version),
                     "--mode",
                     std::to_string(setup_.mode),
                     "--input-length",
                     std::to_string(setup_.inputLength),
                     "--output-length",
                     std::to_string(setup_.outputLength),
                     "--feature-length",
                     std::to_string(setup_.featureLength)};
        if (!setup_.streams)
            arguments.push_back("--silent");
        if (!setup_.answersFeatures)
            arguments.push_back("--stuck");
        if (!setup_.descriptorHexFile.empty()) {
            arguments.push_back("--descriptor-hex");
            arguments.push_back(setup_.descriptorHexFile);
        }
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // Close-on-exec pipes: no other child (the unprivileged half of a test)
    // may hold them, or the device would never see its end of input.
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const int spawned = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toDevice_ = in[1];
    fromDevice_ = out[0];
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error(std::string("cannot start ") + argv[0] + ": " +
                                 std::strerror(spawned));
    }
    ::fcntl(fromDevice_, F_SETFL, O_NONBLOCK);
    node_ = AwaitLine("ready").substr(6);
    plugged_ = true;
}

GuestDevice::~GuestDevice() {
    if (toDevice_ >= 0)
        ::close(toDevice_); // end of input: the device unplugs and its program ends
    if (pid_ > 0) {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (fromDevice_ >= 0)
        ::close(fromDevice_);
}

void GuestDevice::Unplug() {
    Command("unplug", "unplugged");
    plugged_ = false;
}

void GuestDevice::PlugBack() {
    node_ = Command("plug", "ready").substr(6);
    plugged_ = true;
}

void GuestDevice::Silence() {
    Command("silent", "silent");
}

void GuestDevice::Stream() {
    Command("stream", "streaming");
}

void GuestDevice::ChangeMode(BYTE mode) {
    Command("mode " + std::to_string(mode), "mode");
}

void GuestDevice::AnswerAgain() {
    Command("answer", "answering");
}

void GuestDevice::SendInputReport() {
    Command("input", "input-sent");
}

void GuestDevice::SendInputReportUnanswered() {
    const char line[] = "rescue\n";
    [[maybe_unused]] const ssize_t written = ::write(toDevice_, line, sizeof line - 1);
}

std::vector<Bytes> GuestDevice::FeatureWrites() {
    Drain();
    return featureWrites_;
}

int GuestDevice::FeatureReads() {
    Drain();
    return featureReads_;
}

int GuestDevice::IgnoredFeatureRequests() {
    Drain();
    return ignoredFeatureRequests_;
}

std::string GuestDevice::Command(const std::string& line, const std::string& answer) {
    if (setup_.onUsbBus)
        throw std::logic_error("the device on the USB bus takes no command: " + line);
    const std::string text = line + "\n";
    if (::write(toDevice_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("the device program " + setup_.serial + " takes no command");
    return AwaitLine(answer);
}

void GuestDevice::Collect(const std::string& line) {
    // "set-feature N: xx xx ..." and "get-feature ID -> ..."
    if (StartsWith(line, "set-feature ")) {
        const auto colon = line.find(':');
        featureWrites_.push_back(ParseHexBytes(line.substr(colon + 1)));
    } else if (StartsWith(line, "get-feature ")) {
        ++featureReads_;
    } else if (StartsWith(line, "ignored ")) {
        ++ignoredFeatureRequests_;
    }
}

std::string GuestDevice::AwaitLine(const std::string& answer) {
    for (;;) {
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            Collect(line);
            if (line == answer || StartsWith(line, answer + " "))
                return line;
        }
        if (!ReadMore())
            throw std::runtime_error("the device program " + setup_.serial +
                                     " ended before answering \"" + answer + "\"");
    }
}

std::vector<Bytes> GuestDevice::FeatureWritesOnceThereAre(std::size_t count) {
    Drain();
    while (featureWrites_.size() < count) {
        if (!ReadMore())
            throw std::runtime_error("the device program " + setup_.serial + " ended");
        Drain();
    }
    return featureWrites_;
}

bool GuestDevice::ReadMore() {
    for (;;) {
        pollfd watched{fromDevice_, POLLIN, 0};
        const int ready = ::poll(&watched, 1, AnswerDeadlineMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            throw std::runtime_error("the device program " + setup_.serial + " said nothing more");
        char chunk[4096];
        const ssize_t got = ::read(fromDevice_, chunk, sizeof chunk);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (got <= 0)
            return false;
        pending_.append(chunk, static_cast<std::size_t>(got));
        return true;
    }
}

void GuestDevice::Drain() {
    char chunk[4096];
    ssize_t got;
    while ((got = ::read(fromDevice_, chunk, sizeof chunk)) > 0)
        pending_.append(chunk, static_cast<std::size_t>(got));
    for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        Collect(pending_.substr(0, end));
        pending_.erase(0, end + 1);
    }
}

} // namespace merovane::guest
