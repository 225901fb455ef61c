// Counters shared between a measured program and the guest-side driver:
// 64-bit counters in a file mapped into both ($MEROVANE_COUNTERS). Without the
// variable, or when the file cannot be mapped, counting goes nowhere.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace merovane::bench {

enum Counter {
    Enumerations = 0, // hid_enumerate calls
    DeviceReads = 1,  // hid_read_timeout calls: the probes of an open device
    Ticks = 2,        // a floor's own timer ticks
    DeviceOpens = 3,  // hid_open_path calls
    PollTimeouts = 4, // event-loop waits that ended on their timeout: timer ticks
    CounterCount = 5
};

inline volatile std::uint64_t* SharedCounters() {
    static std::uint64_t nowhere[CounterCount];
    const char* path = std::getenv("MEROVANE_COUNTERS");
    if (path == nullptr)
        return nowhere;
    const int fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return nowhere;
    void* shared = MAP_FAILED;
    if (::ftruncate(fd, sizeof nowhere) == 0)
        shared = ::mmap(nullptr, sizeof nowhere, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    return shared == MAP_FAILED ? nowhere : static_cast<volatile std::uint64_t*>(shared);
}

inline void Count(Counter counter) {
    static volatile std::uint64_t* const counters = SharedCounters();
    __atomic_fetch_add(&counters[counter], 1, __ATOMIC_RELAXED);
}

} // namespace merovane::bench
