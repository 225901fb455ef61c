#include "device/hidapi/hidraw_watch.h"

#if defined(__linux__)
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace merovane {

#if defined(__linux__)

namespace {

constexpr std::uint32_t WatchedEvents =
    IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

bool NamesHidrawNode(const inotify_event& event) {
    return event.len > 0 && std::strncmp(event.name, "hidraw", 6) == 0;
}

} // namespace

HidrawNodeWatch::HidrawNodeWatch(const char* directory) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0 && ::inotify_add_watch(fd_, directory, WatchedEvents) < 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

HidrawNodeWatch::~HidrawNodeWatch() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool HidrawNodeWatch::Changed() {
    if (fd_ < 0)
        return true;
    bool changed = false;
    alignas(inotify_event) char events[4096];
    for (;;) {
        const ssize_t got = ::read(fd_, events, sizeof events);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return changed; // EAGAIN: nothing (more) waiting
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            // Lost events, or the watched directory itself moved or gone, may hide a change.
            constexpr std::uint32_t WatchInDoubt =
                IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF;
            if (NamesHidrawNode(*event) || (event->mask & WatchInDoubt) != 0)
                changed = true;
            if ((event->mask & IN_IGNORED) != 0) {
                // The watch is over: from now on every question goes to the system.
                ::close(fd_);
                fd_ = -1;
                return true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

#else

HidrawNodeWatch::HidrawNodeWatch(const char* /*directory*/) {}
HidrawNodeWatch::~HidrawNodeWatch() = default;
bool HidrawNodeWatch::Changed() {
    return true;
}

#endif

} // namespace merovane
