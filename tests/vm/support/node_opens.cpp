#include "support/node_opens.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/inotify.h>
#include <unistd.h>

namespace merovane::guest {

NodeOpens::NodeOpens(const std::string& node) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // inotify merges an event into the one before it when both are alike and
    // unread: with the closes watched too, an open and close after another
    // gives events that differ, and each open is counted.
    if (fd_ < 0 || ::inotify_add_watch(fd_, node.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        const int error = errno;
        if (fd_ >= 0)
            ::close(fd_);
        throw std::runtime_error("cannot watch the opens of " + node + ": " + std::strerror(error));
    }
}

NodeOpens::~NodeOpens() {
    ::close(fd_);
}

int NodeOpens::Count() {
    alignas(inotify_event) char events[4096];
    for (;;) {
        const ssize_t got = ::read(fd_, events, sizeof events);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return count_;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            // A lost event may have been an open: counted as one, so it is not missed.
            if ((event->mask & (IN_OPEN | IN_Q_OVERFLOW)) != 0)
                ++count_;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

} // namespace merovane::guest
