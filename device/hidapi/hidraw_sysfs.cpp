#include "device/hidapi/hidraw_sysfs.h"

#include "device/host_strings.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace merovane {
namespace {

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }

private:
    int fd_;
};

HidrawDescriptorResult Failure(std::string error) {
    return {std::nullopt, std::move(error)};
}

} // namespace

HidrawDescriptorResult ReadHidrawReportDescriptor(std::string_view devicePath,
                                                  const std::filesystem::path& sysfsRoot) {
    const std::optional<std::string> node = HidrawNodeName(devicePath);
    if (!node) {
        return Failure("not a hidraw device path: '" + std::string(devicePath) + "'");
    }
    const std::filesystem::path file =
        sysfsRoot / "class" / "hidraw" / *node / "device" / "report_descriptor";

    // O_NONBLOCK keeps a FIFO planted in the tree from blocking the open; the
    // regular-file check then refuses it.
    const FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        return Failure("cannot open " + file.string() + ": " + std::strerror(errno));
    }
    struct stat status {};
    if (::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return Failure(file.string() + " is not a regular file");
    }

    // One byte more than allowed tells an oversize file from a full one.
    std::vector<std::uint8_t> bytes(MaxReportDescriptorBytes + 1);
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd.Get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Failure("cannot read " + file.string() + ": " + std::strerror(errno));
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    if (filled == 0) {
        return Failure(file.string() + " is empty");
    }
    if (filled > MaxReportDescriptorBytes) {
        return Failure(file.string() + " holds more than " +
                       std::to_string(MaxReportDescriptorBytes) + " bytes");
    }
    bytes.resize(filled);
    return {std::move(bytes), {}};
}

} // namespace merovane
