// Windows's requests to remove a device held open here (Device Manager
// disabling it, a driver update, "safely remove hardware"), received as
// handle notices (DBT_DEVTYP_HANDLE) on a message-only window of the thread
// that makes this object, so through that thread's message loop. Windows
// removes the device only once every handle on it is closed; one left open
// makes it refuse, or ask for a restart.
//
// A watched file's holder is told Requested (DBT_DEVICEQUERYREMOVE) and
// closes its handles at once; then Settled when the removal was refused
// (DBT_DEVICEQUERYREMOVEFAILED) or went ahead (DBT_DEVICEREMOVEPENDING,
// DBT_DEVICEREMOVECOMPLETE). A watch ends when its file closes, or, with a
// removal requested, once that is settled.
#pragma once

#include <functional>
#include <vector>

namespace merovane {

enum class RemovalNotice { Requested, Settled };

class HandleRemovalNotices {
public:
    explicit HandleRemovalNotices(std::function<void(RemovalNotice)> tell);
    ~HandleRemovalNotices();
    HandleRemovalNotices(const HandleRemovalNotices&) = delete;
    HandleRemovalNotices& operator=(const HandleRemovalNotices&) = delete;

    // Watches an open device file (the system's handle); the registration
    // (HDEVNOTIFY), null when Windows took none: no notice will come for it.
    void* Watch(void* file);
    // The file is being closed.
    void Closing(void* file);
    // A removal notice (DBT_...) Windows sent for a registration.
    void Notice(unsigned long event, void* registration);

private:
    struct Watched {
        void* file; // null once closed
        void* registration;
        bool requested = false;
    };

    void Unwatch(std::vector<Watched>::iterator watched);

    void* window_ = nullptr; // HWND
    std::vector<Watched> watched_;
    std::function<void(RemovalNotice)> tell_;
};

} // namespace merovane
