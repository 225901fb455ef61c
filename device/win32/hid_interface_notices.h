// Windows's notices of HID interfaces arriving and leaving, collected for the
// Win32 host, which looks at them, without waiting, before each enumeration.
//
// How they are received depends on the thread that makes this object:
// - ThroughMessageLoop (a window's thread): RegisterDeviceNotificationW for
//   the HID interface class on a message-only window of that thread. Windows
//   sends each notice to the window, so it is taken in whenever the thread's
//   message loop runs (GetMessage, PeekMessage, a modal loop).
// - WithoutMessageLoop (a console program): CM_Register_Notification, whose
//   callbacks come on a thread of the system's pool, looked up in cfgmgr32.dll
//   at run time (Windows 8 and later have it; Wine 8 has not, and a static
//   import of it would stop the program from starting). Where it is missing,
//   the message-only window above, whose messages Pending() takes in itself:
//   the notices then reach the program at its next enumeration. A notice
//   Windows cannot deliver within its own wait (some seconds) is lost, so a
//   program enumerating less often than that would miss some; merovane-ctl
//   watch enumerates every 0.5 s.
//
// The object is made, used and destroyed on one thread; the callbacks of
// CM_Register_Notification are the only other thread that touches it.
#pragma once

#include "device/api_declarations.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace merovane {

enum class NoticeDelivery { ThroughMessageLoop, WithoutMessageLoop };

class HidInterfaceNotices {
public:
    HidInterfaceNotices(NoticeDelivery delivery, const GUID& hidClass);
    ~HidInterfaceNotices();
    HidInterfaceNotices(const HidInterfaceNotices&) = delete;
    HidInterfaceNotices& operator=(const HidInterfaceNotices&) = delete;

    // False when Windows took no registration: no notice will come.
    bool Registered() const { return registered_; }
    // Whether a notice came since the last Take(); never waits.
    bool Pending();
    // The paths of the interfaces that arrived or left since the last call,
    // in lower case; an empty path stands for one that could not be read.
    std::vector<std::string> Take();

    // Notes one arrival or departure (the interface's path as Windows gives
    // it); called by whichever receiver is in use.
    void Note(std::wstring_view path);

private:
    struct Window;
    struct ConfigManager;

    std::unique_ptr<Window> window_;
    std::unique_ptr<ConfigManager> configManager_;
    bool pumpsOwnWindow_ = false;
    bool registered_ = false;
    std::atomic<bool> pending_ = false;
    std::mutex mutex_; // guards noted_
    std::vector<std::string> noted_;
};

} // namespace merovane
