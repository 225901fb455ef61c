#include "device/hidapi/feature_worker.h"

#include "device/api_declarations.h"
#include "device/host_strings.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace merovane {
namespace {

// The children of this process's transfers not yet reaped: those that
// outlived their bound, and those that answered and are ending.
struct Children {
    std::vector<pid_t> outstanding;
    std::vector<pid_t> ending;
};

Children& TransferChildren() {
    static Children children;
    return children;
}

// Forgets the children that have ended; a child reaped elsewhere (SIGCHLD
// ignored) has ended too.
void Reap(std::vector<pid_t>& children) {
    std::erase_if(children, [](pid_t child) { return waitpid(child, nullptr, WNOHANG) != 0; });
}

// How long a killed child may take to end before its request counts as
// still in the kernel.
constexpr std::chrono::milliseconds KilledChildGrace{50};

// Waits at most `grace` for `child` to end, and reaps it; false when it
// has not ended by then (or when the system cannot tell without waiting).
bool EndsWithin(pid_t child, std::chrono::milliseconds grace) {
    const int handle = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    if (handle < 0)
        return false;
    pollfd ended{handle, POLLIN, 0};
    const bool done = poll(&ended, 1, static_cast<int>(grace.count())) > 0;
    close(handle);
    return done && waitpid(child, nullptr, WNOHANG) != 0;
}

// The descriptors of this process open on hidraw nodes, in increasing order.
std::vector<int> HidrawDescriptors() {
    std::vector<int> found;
    DIR* const dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return found;
    const int own = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9' || fd == own)
            continue;
        char target[64] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
        if (length > 0 && std::strncmp(target, "/dev/hidraw", 11) == 0)
            found.push_back(fd);
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    return found;
}

// Closes every descriptor but those in `keep` (in increasing order).
void CloseAllBut(const std::vector<int>& keep) {
    unsigned first = 0;
    for (const int fd : keep) {
        if (static_cast<unsigned>(fd) > first)
            close_range(first, static_cast<unsigned>(fd) - 1, 0);
        first = static_cast<unsigned>(fd) + 1;
    }
    close_range(first, ~0U, 0);
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// What a child sends back: hidapi's result, then the payload's length and
// the payload (the report as it came, or the reason of a failure).
struct Answer {
    std::int32_t result = -1;
    std::uint32_t length = 0;
};

[[noreturn]] void TransferInChild(hid_device* device, std::vector<std::uint8_t>& report, bool read,
                                  int answerPipe, std::vector<int> keep) {
    keep.push_back(answerPipe);
    std::sort(keep.begin(), keep.end());
    CloseAllBut(keep);
    const int result = read ? hid_get_feature_report(device, report.data(), report.size())
                            : hid_send_feature_report(device, report.data(), report.size());
    std::string payload;
    if (result < 0) {
        const wchar_t* error = hid_error(device);
        payload = error != nullptr ? WideToUtf8(error) : std::string("unknown hidapi error");
    } else if (read) {
        payload.assign(report.begin(), report.end());
    }
    const Answer answer{result, static_cast<std::uint32_t>(payload.size())};
    const bool sent = WriteAll(answerPipe, &answer, sizeof answer) &&
                      WriteAll(answerPipe, payload.data(), payload.size());
    _exit(sent ? 0 : 1);
}

FeatureTransferResult Failed(const std::string& reason) {
    FeatureTransferResult failed;
    failed.answered = true;
    failed.error = reason + ": " + std::strerror(errno);
    return failed;
}

// Reads what the child sends until it closes its end, at most until
// `deadline`; false when the deadline came first.
bool ReceiveUntil(int fd, std::chrono::steady_clock::time_point deadline,
                  std::vector<std::uint8_t>& received) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd ready{fd, POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno != EINTR)
            return true; // read what came below, as an ended child
        if (polled <= 0)
            continue;
        std::uint8_t chunk[4096];
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        received.insert(received.end(), chunk, chunk + got);
    }
}

FeatureTransferResult RunBounded(hid_device* device, std::vector<std::uint8_t> report, bool read) {
    const auto deadline = std::chrono::steady_clock::now() + FeatureTransferBound;
    int answerPipe[2];
    if (pipe2(answerPipe, O_CLOEXEC) != 0)
        return Failed("cannot make a pipe for the transfer");
    const std::vector<int> hidraw = HidrawDescriptors();
    const pid_t child = fork();
    if (child < 0) {
        const FeatureTransferResult failed = Failed("cannot start the transfer");
        close(answerPipe[0]);
        close(answerPipe[1]);
        return failed;
    }
    if (child == 0)
        TransferInChild(device, report, read, answerPipe[1], hidraw);
    close(answerPipe[1]);

    Children& children = TransferChildren();
    std::vector<std::uint8_t> received;
    const bool ended = ReceiveUntil(answerPipe[0], deadline, received);
    close(answerPipe[0]);
    if (!ended) {
        // Ends a wait the kernel can interrupt at once; any other when the
        // kernel gives the request up. The answer, if one comes, is dropped.
        kill(child, SIGKILL);
        if (!EndsWithin(child, KilledChildGrace))
            children.outstanding.push_back(child);
        return {};
    }
    if (waitpid(child, nullptr, WNOHANG) == 0)
        children.ending.push_back(child);

    FeatureTransferResult result;
    result.answered = true;
    Answer answer;
    if (received.size() < sizeof answer) {
        result.error = "the transfer ended without an answer";
        return result;
    }
    std::memcpy(&answer, received.data(), sizeof answer);
    const auto payload = received.begin() + sizeof answer;
    if (static_cast<std::size_t>(received.end() - payload) != answer.length) {
        result.error = "the transfer's answer was cut short";
        return result;
    }
    result.result = answer.result;
    if (answer.result < 0)
        result.error.assign(payload, received.end());
    else if (read)
        result.report.assign(payload, received.end());
    return result;
}

} // namespace

SharedHidDevice ShareHidDevice(hid_device* device) {
    return SharedHidDevice(device, hid_close);
}

FeatureTransferResult ReadFeatureBounded(hid_device* device, std::vector<std::uint8_t> report) {
    return RunBounded(device, std::move(report), true);
}

FeatureTransferResult WriteFeatureBounded(hid_device* device, std::vector<std::uint8_t> report) {
    return RunBounded(device, std::move(report), false);
}

bool FeatureRequestOutstanding() {
    Children& children = TransferChildren();
    Reap(children.ending);
    Reap(children.outstanding);
    return !children.outstanding.empty();
}

} // namespace merovane
