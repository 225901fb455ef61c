// Floor of an idle tick on real hidraw nodes: what waiting for a divider
// costs at the least when the list of interfaces is kept until inotify on
// /dev says a hidraw node was created, deleted or changed, and every 50 ms
// tick still opens and closes each node twice (the scan, then the search).
// No window, no event loop: absolute-time sleeps. Counts its ticks. Written
// apart from the hidapi host's own watch, so that the floor does not lean on
// the code it is held against.
#include "bench/real_stack/counters.h"

#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> Enumerate() {
    std::vector<std::string> paths;
    hid_device_info* const list = hid_enumerate(0, 0);
    for (const hid_device_info* info = list; info != nullptr; info = info->next)
        if (info->path != nullptr)
            paths.emplace_back(info->path);
    hid_free_enumeration(list);
    return paths;
}

bool HidrawNodeChanged(int watch) {
    bool changed = false;
    alignas(inotify_event) char events[4096];
    ssize_t got = 0;
    while ((got = ::read(watch, events, sizeof events)) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            changed |= event->len > 0 && std::strncmp(event->name, "hidraw", 6) == 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return changed;
}

} // namespace

int main() {
    hid_init();
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ::inotify_add_watch(watch, "/dev", IN_CREATE | IN_DELETE | IN_ATTRIB);
    std::vector<std::string> paths = Enumerate();
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    for (;;) {
        next.tv_nsec += 50'000'000;
        if (next.tv_nsec >= 1'000'000'000) {
            next.tv_nsec -= 1'000'000'000;
            ++next.tv_sec;
        }
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        if (HidrawNodeChanged(watch))
            paths = Enumerate();
        for (int pass = 0; pass < 2; ++pass) {
            for (const std::string& path : paths) {
                const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
                if (fd >= 0)
                    ::close(fd);
            }
        }
        merovane::bench::Count(merovane::bench::Ticks);
    }
}
