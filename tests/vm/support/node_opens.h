// The opens of one device node by any process, seen through an inotify watch
// on the node (IN_OPEN): what a scenario holds against "opens nothing". The
// watch itself opens nothing. Opens that overlap without a close between them
// may count as one, so the count is exact at 0 and a lower bound above it.
#pragma once

#include <string>

namespace merovane::guest {

class NodeOpens {
public:
    // Starts counting; throws when no watch can be set on `node`.
    explicit NodeOpens(const std::string& node);
    ~NodeOpens();
    NodeOpens(const NodeOpens&) = delete;
    NodeOpens& operator=(const NodeOpens&) = delete;

    // The opens since the watch was set.
    int Count();

private:
    int fd_ = -1;
    int count_ = 0;
};

} // namespace merovane::guest
