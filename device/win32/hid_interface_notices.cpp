#include "device/win32/hid_interface_notices.h"

#include "device/win32/system_guid.h"
#include "device/win32/system_library.h"

#include <algorithm>
#include <utility>

// After the callers' declarations: windows.h defines some of their names as
// macros of the same values.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// dbt.h and cfgmgr32.h need windows.h first.
#include <cfgmgr32.h>
#include <dbt.h>

namespace merovane {

namespace {

const wchar_t* const WindowClass = L"MerovaneHidInterfaceNotices";

LRESULT CALLBACK NoticeWindowProcedure(HWND window, UINT message, WPARAM event, LPARAM data) {
    if (message != WM_DEVICECHANGE)
        return DefWindowProcW(window, message, event, data);
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    auto* notices =
        reinterpret_cast<HidInterfaceNotices*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if ((event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE) && header != nullptr &&
        notices != nullptr && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
        const auto* record = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
        // The name runs to the end of the record, whose size the header gives.
        const std::size_t capacity =
            (header->dbch_size - offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) /
            sizeof(wchar_t);
        notices->Note(std::wstring_view(record->dbcc_name, wcsnlen(record->dbcc_name, capacity)));
    }
    return TRUE;
}

} // namespace

// A message-only window registered for the HID interface class.
struct HidInterfaceNotices::Window {
    HWND window = nullptr;
    HDEVNOTIFY registration = nullptr;

    Window(HidInterfaceNotices& notices, const ::GUID& hidClass) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = NoticeWindowProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = WindowClass;
        // A second host in the process finds the class registered.
        RegisterClassExW(&windowClass);
        window = CreateWindowExW(0, WindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, nullptr);
        if (window == nullptr)
            return;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&notices));
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = hidClass;
        registration = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    ~Window() {
        if (registration != nullptr)
            UnregisterDeviceNotification(registration);
        if (window != nullptr)
            DestroyWindow(window);
    }
    // Takes in what was sent or posted to the window, without waiting.
    void Pump() const {
        MSG message;
        while (PeekMessageW(&message, window, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
};

// CM_Register_Notification for the HID interface class, when cfgmgr32.dll has it.
struct HidInterfaceNotices::ConfigManager {
    using Register = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK,
                                        PHCMNOTIFICATION);
    using Unregister = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

    Unregister unregister = nullptr;
    HCMNOTIFICATION registration = nullptr;

    ConfigManager(HidInterfaceNotices& notices, const ::GUID& hidClass) {
        const HMODULE library = SystemLibrary(L"cfgmgr32.dll");
        const auto registerNotification =
            SystemFunction<Register>(library, "CM_Register_Notification");
        unregister = SystemFunction<Unregister>(library, "CM_Unregister_Notification");
        if (registerNotification == nullptr || unregister == nullptr)
            return;
        CM_NOTIFY_FILTER filter{};
        filter.cbSize = sizeof filter;
        filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
        filter.u.DeviceInterface.ClassGuid = hidClass;
        if (registerNotification(&filter, &notices, Callback, &registration) != CR_SUCCESS)
            registration = nullptr;
    }
    ~ConfigManager() {
        // Waits for a callback under way to end.
        if (registration != nullptr)
            unregister(registration);
    }
    static ::DWORD CALLBACK Callback(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action,
                                     PCM_NOTIFY_EVENT_DATA data, ::DWORD size) {
        if ((action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL ||
             action == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL) &&
            data != nullptr &&
            size >= offsetof(CM_NOTIFY_EVENT_DATA, u.DeviceInterface.SymbolicLink)) {
            const std::size_t capacity =
                (size - offsetof(CM_NOTIFY_EVENT_DATA, u.DeviceInterface.SymbolicLink)) /
                sizeof(wchar_t);
            const wchar_t* path = data->u.DeviceInterface.SymbolicLink;
            static_cast<HidInterfaceNotices*>(context)->Note(
                std::wstring_view(path, wcsnlen(path, capacity)));
        }
        return ERROR_SUCCESS;
    }
};

HidInterfaceNotices::HidInterfaceNotices(NoticeDelivery delivery, const GUID& hidClass) {
    const ::GUID systemClass = ToSystem(hidClass);
    if (delivery == NoticeDelivery::WithoutMessageLoop) {
        configManager_ = std::make_unique<ConfigManager>(*this, systemClass);
        registered_ = configManager_->registration != nullptr;
        if (registered_)
            return;
        configManager_.reset();
        pumpsOwnWindow_ = true;
    }
    window_ = std::make_unique<Window>(*this, systemClass);
    registered_ = window_->registration != nullptr;
}

HidInterfaceNotices::~HidInterfaceNotices() {
    // Before the inbox goes: a callback may be under way on another thread.
    configManager_.reset();
    window_.reset();
}

bool HidInterfaceNotices::Pending() {
    if (pumpsOwnWindow_)
        window_->Pump();
    return pending_.load(std::memory_order_acquire);
}

std::vector<std::string> HidInterfaceNotices::Take() {
    const std::lock_guard lock(mutex_);
    pending_.store(false, std::memory_order_relaxed);
    return std::exchange(noted_, {});
}

void HidInterfaceNotices::Note(std::wstring_view path) {
    // Paths are ASCII; one that is not cannot be matched, and is noted as
    // unreadable.
    std::string lower;
    for (const wchar_t c : path) {
        if (c >= 0x80) {
            lower.clear();
            break;
        }
        lower.push_back(static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c));
    }
    const std::lock_guard lock(mutex_);
    noted_.push_back(std::move(lower));
    pending_.store(true, std::memory_order_release);
}

} // namespace merovane
