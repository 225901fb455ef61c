#include "device/win32/handle_removal_notices.h"

#include <algorithm>
#include <utility>

// After the callers' declarations: windows.h defines some of their names as
// macros of the same values.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// dbt.h needs windows.h first.
#include <dbt.h>

namespace merovane {

namespace {

const wchar_t* const WindowClass = L"MerovaneHandleRemovalNotices";

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM event, LPARAM data) {
    if (message != WM_DEVICECHANGE)
        return DefWindowProcW(window, message, event, data);
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    auto* notices =
        reinterpret_cast<HandleRemovalNotices*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (header != nullptr && notices != nullptr && header->dbch_devicetype == DBT_DEVTYP_HANDLE)
        notices->Notice(static_cast<unsigned long>(event),
                        reinterpret_cast<const DEV_BROADCAST_HANDLE*>(header)->dbch_hdevnotify);
    return TRUE; // a removal is never refused here
}

} // namespace

HandleRemovalNotices::HandleRemovalNotices(std::function<void(RemovalNotice)> tell)
    : tell_(std::move(tell)) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = WindowClass;
    RegisterClassExW(&windowClass); // a second object finds it registered
    const HWND window = CreateWindowExW(0, WindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        windowClass.hInstance, nullptr);
    if (window != nullptr)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    window_ = window;
}

HandleRemovalNotices::~HandleRemovalNotices() {
    for (const Watched& watched : watched_)
        UnregisterDeviceNotification(watched.registration);
    if (window_ != nullptr)
        DestroyWindow(static_cast<HWND>(window_));
}

void* HandleRemovalNotices::Watch(void* file) {
    if (window_ == nullptr)
        return nullptr;
    DEV_BROADCAST_HANDLE filter{};
    filter.dbch_size = sizeof filter;
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = file;
    const HDEVNOTIFY registration = RegisterDeviceNotificationW(static_cast<HWND>(window_), &filter,
                                                                DEVICE_NOTIFY_WINDOW_HANDLE);
    if (registration != nullptr)
        watched_.push_back({file, registration});
    return registration;
}

void HandleRemovalNotices::Closing(void* file) {
    const auto watched = std::ranges::find(watched_, file, &Watched::file);
    if (watched == watched_.end())
        return;
    if (watched->requested)
        watched->file = nullptr; // the outcome is still to come
    else
        Unwatch(watched);
}

void HandleRemovalNotices::Unwatch(std::vector<Watched>::iterator watched) {
    UnregisterDeviceNotification(watched->registration);
    watched_.erase(watched);
}

void HandleRemovalNotices::Notice(unsigned long event, void* registration) {
    if (event != DBT_DEVICEQUERYREMOVE && event != DBT_DEVICEQUERYREMOVEFAILED &&
        event != DBT_DEVICEREMOVEPENDING && event != DBT_DEVICEREMOVECOMPLETE)
        return;
    const auto watched = std::ranges::find(watched_, registration, &Watched::registration);
    if (watched == watched_.end())
        return;
    if (event == DBT_DEVICEQUERYREMOVE) {
        if (watched->requested)
            return;
        watched->requested = true;
        tell_(RemovalNotice::Requested); // the holder closes the file meanwhile
        return;
    }
    const bool requested = watched->requested;
    if (watched->file == nullptr)
        Unwatch(watched);
    else
        watched->requested = false;
    if (requested)
        tell_(RemovalNotice::Settled);
}

} // namespace merovane
