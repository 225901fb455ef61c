#include "window/win32/win32_controls.h"

#include "device/win32/system_library.h"

#include <algorithm>

namespace merovane {

namespace {

std::wstring ItemText(HWND combo, LRESULT index) {
    const auto item = static_cast<WPARAM>(index);
    std::wstring text(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, item, 0)),
                      L'\0');
    SendMessageW(combo, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()));
    return text;
}

// A system metric at dpi, where Windows tells it per dpi (10 1607 and later).
int MetricAt(int index, int dpi) {
    using ForDpiFunction = int(WINAPI*)(int, UINT);
    static const auto forDpi =
        SystemFunction<ForDpiFunction>(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi");
    return forDpi != nullptr ? forDpi(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

} // namespace

std::wstring FromLatin1(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (const char c : text)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return wide;
}

Win32DropDownList::Win32DropDownList(HWND combo, const Win32Frame& frame)
    : combo_(combo), frame_(frame) {}

void Win32DropDownList::ShowItems(const std::vector<std::string>& items) {
    SendMessageW(combo_, CB_RESETCONTENT, 0, 0);
    index_ = -1;
    for (const std::string& text : items) {
        const std::wstring wide = FromLatin1(text);
        SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    FitDroppedWidth(dpi_);
}

std::wstring Win32DropDownList::SelectedText() const {
    const auto index = SendMessageW(combo_, CB_GETCURSEL, 0, 0);
    return index >= 0 ? ItemText(combo_, index) : std::wstring();
}

void Win32DropDownList::FitDroppedWidth(int dpi) {
    dpi_ = dpi;
    const HDC dc = GetDC(combo_);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(combo_, WM_GETFONT, 0, 0)));
    int widest = 0;
    const auto count = SendMessageW(combo_, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const std::wstring text = ItemText(combo_, i);
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
    }
    SelectObject(dc, old);
    ReleaseDC(combo_, dc);
    // The list draws each item a pixel in from its sides, inside its border,
    // beside a scroll bar when it has more items than it shows.
    const int width = widest + 2 + 2 * MetricAt(SM_CXEDGE, dpi) + MetricAt(SM_CXVSCROLL, dpi);
    SendMessageW(combo_, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
}

void Win32DropDownList::ShowIndex(int index) {
    SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    index_ = index;
}

void Win32DropDownList::ShowEnabled(bool enabled) {
    enabled_ = enabled;
    ApplyEnabled();
}

void Win32DropDownList::ApplyEnabled() {
    const bool enable = enabled_ && frame_.Enabled();
    if (enable != windowEnabled_)
        EnableWindow(combo_, enable ? TRUE : FALSE);
    windowEnabled_ = enable;
}

void Win32DropDownList::Notify(WORD code) {
    // A pick: a selection made with the keyboard in the closed list, or the
    // item chosen from the open one, the item already selected included.
    // Arrow keys in the open list only move its highlight, which goes back to
    // the item shown when the list closes without a pick.
    if (code == CBN_CLOSEUP) {
        if (SendMessageW(combo_, CB_GETCURSEL, 0, 0) != index_)
            SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(index_), 0);
        return;
    }
    const bool dropped = SendMessageW(combo_, CB_GETDROPPEDSTATE, 0, 0) != FALSE;
    const bool pick = (code == CBN_SELCHANGE && !dropped) || (code == CBN_SELENDOK && dropped);
    if (!pick)
        return;
    const auto index = static_cast<int>(SendMessageW(combo_, CB_GETCURSEL, 0, 0));
    if (index >= 0 && picked_) {
        index_ = index;
        picked_(index);
    }
}

void Win32Label::ShowText(const std::string& text) {
    if (transparent_) {
        // The old text goes with a repaint of what lies beneath: the form
        // (which does not clip its children) erases, then every control there
        // paints again.
        RECT area;
        GetWindowRect(label_, &area);
        const HWND form = GetAncestor(label_, GA_ROOT);
        MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&area), 2);
        RedrawWindow(form, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
    SetWindowTextW(label_, FromLatin1(text).c_str());
}

void Win32Frame::ShowEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    EnableWindow(box_, enabled ? TRUE : FALSE);
    for (Win32DropDownList* list : lists_)
        list->ApplyEnabled();
}

void Win32CommandButton::Clicked() {
    if (click_)
        click_();
}

Win32IntervalTimer::~Win32IntervalTimer() {
    SetEnabled(false);
}

void Win32IntervalTimer::SetEnabled(bool enabled) {
    if (enabled && !running_)
        SetTimer(owner_, id_, static_cast<UINT>(interval_), nullptr);
    else if (!enabled && running_)
        KillTimer(owner_, id_);
    running_ = enabled;
}

void Win32IntervalTimer::SetInterval(int milliseconds) {
    if (milliseconds == interval_)
        return;
    interval_ = milliseconds;
    // Setting a running timer again makes it count afresh.
    if (running_)
        SetTimer(owner_, id_, static_cast<UINT>(interval_), nullptr);
}

void Win32IntervalTimer::Tick() {
    if (running_ && tick_)
        tick_();
}

} // namespace merovane
