// Notice of changes to the hidraw device nodes, without waiting: an inotify
// watch on /dev for nodes named hidraw* that are created, deleted or have
// their attributes changed (owner, mode, or the ACL with which udev grants a
// user access).
//
// What it relies on: the kernel (devtmpfs) or udev makes and removes
// /dev/hidrawN as hidraw devices come and go, and inotify queues the event
// within the call that makes or removes the node, so once a node is gone or
// new, Changed() says so. A device never changes identity under an existing
// node: a new device is always a new node (a delete, then a create, when its
// number is reused).
//
// Where inotify is missing (not Linux, or no watch could be set), Available()
// is false and Changed() is always true: every question goes to the system.
#pragma once

namespace merovane {

class HidrawNodeWatch {
public:
    // Starts watching /dev (or `directory`).
    explicit HidrawNodeWatch(const char* directory = "/dev");
    ~HidrawNodeWatch();
    HidrawNodeWatch(const HidrawNodeWatch&) = delete;
    HidrawNodeWatch& operator=(const HidrawNodeWatch&) = delete;

    bool Available() const { return fd_ >= 0; }
    // True when a hidraw node was created, deleted or changed since the last
    // call (or the first call, since the start), or when events were lost;
    // consumes the notices. Never waits.
    bool Changed();

private:
    int fd_ = -1;
};

} // namespace merovane
