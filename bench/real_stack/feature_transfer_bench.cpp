// What a normal feature transfer on a good divider costs: the hidapi host's
// mode read and mode write, each bounded by its own process, beside the
// floor, the same transfer as a bare ioctl on the node.
//   feature_transfer_bench /dev/hidrawN [COUNT [RESIDENT_MIB]]
// RESIDENT_MIB first makes the process that large, as the window is (a
// transfer's child process costs more in a larger one). Prints the mean, the
// median and the 90th percentile of each, in microseconds of wall time.
#include "device/hidapi/hidapi_host.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void Report(const char* what, std::vector<double> micros) {
    std::sort(micros.begin(), micros.end());
    double total = 0;
    for (const double one : micros)
        total += one;
    std::printf("%-22s mean %8.1f us   median %8.1f us   p90 %8.1f us   (%zu)\n", what,
                total / static_cast<double>(micros.size()), micros[micros.size() / 2],
                micros[micros.size() * 9 / 10], micros.size());
}

void Measure(const char* what, int count, const std::function<bool()>& transfer) {
    std::vector<double> micros;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (!transfer()) {
            std::fprintf(stderr, "%s failed\n", what);
            std::exit(1);
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    Report(what, micros);
}

} // namespace

int main(int argc, char** argv) {
    using namespace merovane;
    if (argc < 2) {
        std::fprintf(stderr, "usage: feature_transfer_bench /dev/hidrawN [COUNT]\n");
        return 2;
    }
    const char* node = argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 200;
    std::vector<char> resident(argc > 3 ? std::size_t(std::atoi(argv[3])) << 20 : 0);
    for (std::size_t page = 0; page < resident.size(); page += 4096)
        resident[page] = 1;

    const int fd = ::open(node, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::perror(node);
        return 1;
    }
    unsigned char raw[3] = {0, 0, 0};
    Measure("floor: ioctl read", count, [&] {
        raw[0] = 0;
        return ::ioctl(fd, HIDIOCGFEATURE(sizeof raw), raw) >= 0;
    });
    Measure("floor: ioctl write", count, [&] {
        const unsigned char set[3] = {0, 1, 0};
        return ::ioctl(fd, HIDIOCSFEATURE(sizeof set), set) >= 0;
    });
    ::close(fd);

    merovane::HidapiHost host;
    const HANDLE handle =
        host.CreateFileA(node, merovane::GENERIC_READ | merovane::GENERIC_WRITE,
                         merovane::FILE_SHARE_READ | merovane::FILE_SHARE_WRITE, nullptr,
                         merovane::OPEN_EXISTING, 0, merovane::NO_HANDLE);
    if (handle == merovane::INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "%s\n", host.LastError().c_str());
        return 1;
    }
    BYTE report[3] = {0, 0, 0};
    Measure("host: HidD_GetFeature", count, [&] {
        report[0] = 0;
        return host.HidD_GetFeature(handle, report, sizeof report) != 0;
    });
    Measure("host: HidD_SetFeature", count, [&] {
        const BYTE set[3] = {0, 1, 0};
        return host.HidD_SetFeature(handle, set, sizeof set) != 0;
    });
    host.CloseHandle(handle);
    return 0;
}
