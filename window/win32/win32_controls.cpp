#include "window/win32/win32_controls.h"

#include "device/win32/system_library.h"

#include <algorithm>
#include <commctrl.h>

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

// A device context of the window with the window's font selected.
class FontContext {
public:
    explicit FontContext(HWND window)
        : window_(window), dc_(GetDC(window)),
          old_(SelectObject(dc_, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)))) {
    }
    ~FontContext() {
        SelectObject(dc_, old_);
        ReleaseDC(window_, dc_);
    }
    FontContext(const FontContext&) = delete;
    FontContext& operator=(const FontContext&) = delete;
    int Width(const std::wstring& text) const {
        SIZE size{};
        GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }
    int LineHeight() const {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc_, &metrics);
        return metrics.tmHeight;
    }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ old_;
};

// text, or as much of its head and tail as fits in room with an ellipsis
// between them.
std::wstring ElideMiddle(const FontContext& font, const std::wstring& text, int room) {
    if (text.empty() || font.Width(text) <= room)
        return text;
    for (std::size_t kept = text.size() - 1; kept > 0; --kept) {
        const std::size_t head = (kept + 1) / 2;
        std::wstring elided =
            text.substr(0, head) + L'\u2026' + text.substr(text.size() - (kept - head));
        if (font.Width(elided) <= room)
            return elided;
    }
    return L"\u2026";
}

// The combo box as a tool of its tooltip.
TOOLINFOW ToolOf(HWND combo) {
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(combo);
    tool.uId = reinterpret_cast<UINT_PTR>(combo);
    return tool;
}

// A tooltip over the combo box, from System32's comctl32.dll; null without it.
HWND MakeToolTip(HWND combo) {
    using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    static const auto init =
        SystemFunction<InitFunction>(SystemLibrary(L"comctl32.dll"), "InitCommonControlsEx");
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_TAB_CLASSES};
    if (init == nullptr || init(&classes) == FALSE)
        return nullptr;
    const HWND tip = CreateWindowExW(
        WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, GetAncestor(combo, GA_ROOT),
        nullptr, GetModuleHandleW(nullptr), nullptr);
    TOOLINFOW tool = ToolOf(combo);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    return tip;
}

} // namespace

std::wstring FromLatin1(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (const char c : text)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return wide;
}

Win32DropDownList::Win32DropDownList(HWND combo, const Win32Frame& frame,
                                     const ControlLayout& layout)
    : combo_(combo), frame_(frame), layout_(layout),
      toolTip_(layout.roomWidth > 0 ? MakeToolTip(combo) : nullptr) {}

void Win32DropDownList::ShowItems(const std::vector<std::string>& items) {
    SendMessageW(combo_, CB_RESETCONTENT, 0, 0);
    index_ = -1;
    for (const std::string& text : items) {
        const std::wstring wide = FromLatin1(text);
        SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    Fit(dpi_);
    ShowToolTip();
}

std::wstring Win32DropDownList::SelectedText() const {
    const auto index = SendMessageW(combo_, CB_GETCURSEL, 0, 0);
    return index >= 0 ? ItemText(combo_, index) : std::wstring();
}

std::wstring Win32DropDownList::ShownText() const {
    return ElideMiddle(FontContext(combo_), SelectedText(), ShownTextRoom());
}

int Win32DropDownList::ShownTextRoom() const {
    // The selected item is drawn a pixel in from each side of its field.
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(combo_, &info);
    return info.rcItem.right - info.rcItem.left - 2;
}

void Win32DropDownList::Draw(const DRAWITEMSTRUCT& item) const {
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool selected = (item.itemState & ODS_SELECTED) != 0 && !disabled;
    const int background = selected ? COLOR_HIGHLIGHT : disabled ? COLOR_BTNFACE : COLOR_WINDOW;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(background));
    if (item.itemID != static_cast<UINT>(-1)) {
        std::wstring text = ItemText(combo_, item.itemID);
        // The closed box gives its item the field less a pixel on each side;
        // the open list's items are drawn a pixel in from their sides.
        RECT area = item.rcItem;
        if ((item.itemState & ODS_COMBOBOXEDIT) != 0)
            text = ElideMiddle(FontContext(combo_), text, area.right - area.left);
        else
            InflateRect(&area, -1, 0);
        const HGDIOBJ old =
            SelectObject(item.hDC, reinterpret_cast<HFONT>(SendMessageW(combo_, WM_GETFONT, 0, 0)));
        SetBkMode(item.hDC, TRANSPARENT);
        SetTextColor(item.hDC, GetSysColor(disabled   ? COLOR_GRAYTEXT
                                           : selected ? COLOR_HIGHLIGHTTEXT
                                                      : COLOR_WINDOWTEXT));
        DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &area,
                  DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        SelectObject(item.hDC, old);
    }
    if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0)
        DrawFocusRect(item.hDC, &item.rcItem);
}

void Win32DropDownList::Fit(int dpi) {
    dpi_ = dpi;
    int widest = 0;
    {
        const FontContext font(combo_);
        // Owner-drawn items take their height from the font as the combo
        // box's own would.
        SendMessageW(combo_, CB_SETITEMHEIGHT, 0, font.LineHeight());
        const auto count = SendMessageW(combo_, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i)
            widest = std::max(widest, font.Width(ItemText(combo_, i)));
    }
    // The list draws each item a pixel in from its sides, inside its border,
    // beside a scroll bar when it has more items than it shows.
    const int dropped = widest + 2 + 2 * MetricAt(SM_CXEDGE, dpi) + MetricAt(SM_CXVSCROLL, dpi);
    SendMessageW(combo_, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(dropped), 0);
    if (layout_.roomWidth == 0)
        return;
    // Given the closed box's own height, the combo box keeps the height of
    // the list it drops.
    RECT box;
    GetWindowRect(combo_, &box);
    const int around = box.right - box.left - ShownTextRoom();
    SetWindowPos(combo_, nullptr, 0, 0, CaptionWidth(layout_, widest + around, dpi),
                 box.bottom - box.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32DropDownList::ShowToolTip() {
    if (toolTip_ == nullptr)
        return;
    const std::wstring text = index_ >= 0 ? ItemText(combo_, index_) : std::wstring();
    TOOLINFOW tool = ToolOf(combo_);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(toolTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32DropDownList::ShowIndex(int index) {
    SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    index_ = index;
    ShowToolTip();
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
        ShowToolTip();
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
