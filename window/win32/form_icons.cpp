#include "window/win32/form_icons.h"

#include "device/win32/system_library.h"

#include <utility>

namespace merovane {

namespace {

constexpr int IconResource = 1;

// A system metric at dpi, where Windows tells it per dpi (10 1607 and later).
int MetricAt(int index, int dpi) {
    using ForDpiFunction = int(WINAPI*)(int, UINT);
    static const auto forDpi =
        SystemFunction<ForDpiFunction>(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi");
    return forDpi != nullptr ? forDpi(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

// Sets the window's icon of kind (ICON_BIG or ICON_SMALL) to the program's
// image of side pixels, and destroys the one it replaces.
void Replace(HWND window, WPARAM kind, int side, HICON& held) {
    const auto icon =
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IconResource),
                                      IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
    if (icon == nullptr)
        return;
    SendMessageW(window, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
    if (const HICON old = std::exchange(held, icon))
        DestroyIcon(old);
}

} // namespace

FormIcons::~FormIcons() {
    for (const HICON icon : {big_, small_})
        if (icon != nullptr)
            DestroyIcon(icon);
}

void FormIcons::Apply(HWND window, int dpi) {
    Replace(window, ICON_BIG, MetricAt(SM_CXICON, dpi), big_);
    Replace(window, ICON_SMALL, MetricAt(SM_CXSMICON, dpi), small_);
}

} // namespace merovane
