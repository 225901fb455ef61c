// Preloaded into the unmodified merovane-config (LD_PRELOAD) to count what
// it does without touching it: hidapi enumerations, opens and probe reads,
// and the timer ticks of its event loop, seen as poll calls that return on
// their timeout with nothing to read. Each counted call costs one indirect
// call more.
#include "bench/real_stack/counters.h"

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <time.h>

struct hid_device_info;
struct hid_device_;

namespace {

template <typename Function> Function Next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

using merovane::bench::Count;

extern "C" {

hid_device_info* hid_enumerate(unsigned short vendor, unsigned short product) {
    static const auto next = Next<hid_device_info* (*)(unsigned short, unsigned short)>(__func__);
    Count(merovane::bench::Enumerations);
    return next(vendor, product);
}

hid_device_* hid_open_path(const char* path) {
    static const auto next = Next<hid_device_* (*)(const char*)>(__func__);
    Count(merovane::bench::DeviceOpens);
    return next(path);
}

int hid_read_timeout(hid_device_* device, unsigned char* data, size_t length, int milliseconds) {
    static const auto next = Next<int (*)(hid_device_*, unsigned char*, size_t, int)>(__func__);
    Count(merovane::bench::DeviceReads);
    return next(device, data, length, milliseconds);
}

int poll(pollfd* fds, nfds_t count, int timeout) {
    static const auto next = Next<int (*)(pollfd*, nfds_t, int)>(__func__);
    const int ready = next(fds, count, timeout);
    if (ready == 0 && timeout > 0)
        Count(merovane::bench::PollTimeouts);
    return ready;
}

int ppoll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask) {
    static const auto next =
        Next<int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*)>(__func__);
    const int ready = next(fds, count, timeout, mask);
    if (ready == 0 && timeout != nullptr && (timeout->tv_sec > 0 || timeout->tv_nsec > 0))
        Count(merovane::bench::PollTimeouts);
    return ready;
}

} // extern "C"
