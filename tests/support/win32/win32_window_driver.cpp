// The window driver over the Win32 backend: the user's input as the controls
// receive it, in messages sent to them.
#include "support/window_driver.h"
#include "window/win32/win32_form.h"

#include <algorithm>
#include <commctrl.h>
#include <iterator>

namespace merovane::test {
namespace {

std::string ToLatin1(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text)
        narrow.push_back(static_cast<char>(c));
    return narrow;
}

std::string ToUtf8(const std::wstring& text) {
    std::string utf8(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                                                  static_cast<int>(text.size()),
                                                                  nullptr, 0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(),
                        static_cast<int>(utf8.size()), nullptr, nullptr);
    return utf8;
}

class Win32WindowDriver final : public WindowDriver {
public:
    explicit Win32WindowDriver(Win32Form& form) : form_(form) {}

    void Pick(Control list, int index) override {
        // What the combo box does for a pick with the mouse: it selects the
        // item and tells its parent.
        const HWND combo = form_.Handle(list);
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
    }
    void Press(Control button) override { SendMessageW(form_.Handle(button), BM_CLICK, 0, 0); }
    void Focus(Control control) override {
        SetForegroundWindow(form_.Handle());
        SetFocus(form_.Handle(control));
    }
    void Type(Key key) override {
        static constexpr WPARAM keys[] = {VK_TAB, VK_SPACE, VK_DOWN, VK_UP};
        const WPARAM code = keys[static_cast<int>(key)];
        const HWND target = GetFocus() != nullptr ? GetFocus() : form_.Handle();
        SendMessageW(target, WM_KEYDOWN, code, 1);
        SendMessageW(target, WM_KEYUP, code, static_cast<LPARAM>(0xC0000001));
    }
    std::optional<Control> Focused() const override {
        for (int i = 0; i < ControlCount; ++i) {
            const auto id = static_cast<Control>(i);
            if (form_.Handle(id) != nullptr && form_.Handle(id) == GetFocus())
                return id;
        }
        return std::nullopt;
    }
    void Close() override { form_.Close(); }

    std::vector<std::string> Items(Control list) const override {
        const HWND combo = form_.Handle(list);
        std::vector<std::string> items;
        const auto count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
            const auto length = SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
            std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
            SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer.data()));
            items.push_back(ToLatin1(buffer.data()));
        }
        return items;
    }
    std::string Text(Control label) const override {
        const HWND window = form_.Handle(label);
        std::vector<wchar_t> buffer(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1);
        GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
        return ToLatin1(buffer.data());
    }
    bool TakesInput(Control control) const override {
        const HWND window = form_.Handle(control);
        return IsWindowEnabled(window) != FALSE && IsWindowEnabled(GetParent(window)) != FALSE;
    }
    bool Visible() const override { return form_.Visible(); }
    PixelRect Place(Control control) const override {
        const HWND window = form_.Handle(control);
        RECT r;
        GetWindowRect(window, &r);
        MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
        return {r.left, r.top, r.right - r.left, r.bottom - r.top};
    }
    double Dpi() const override { return form_.Dpi(); }
    void MoveToScale(int percent) override {
        // What Windows does when the window reaches a monitor of that scale:
        // it suggests the window's rectangle at the new dpi and tells it.
        const int dpi = 96 * percent / 100;
        RECT client{0, 0, TwipsToPixels(MainForm.clientWidth, dpi),
                    TwipsToPixels(MainForm.clientHeight, dpi)};
        AdjustWindowRectExForDpi(&client,
                                 static_cast<DWORD>(GetWindowLongW(form_.Handle(), GWL_STYLE)),
                                 FALSE, 0, static_cast<UINT>(dpi));
        RECT suggested;
        GetWindowRect(form_.Handle(), &suggested);
        suggested.right = suggested.left + client.right - client.left;
        suggested.bottom = suggested.top + client.bottom - client.top;
        SendMessageW(form_.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
    }
    ShownText Shown(Control control) const override {
        const HWND window = form_.Handle(control);
        const std::wstring text = TextOf(window);
        switch (MainForm[control].kind) {
        case ControlKind::DropDownList: {
            // The selected item is drawn a pixel in from each side of its field.
            COMBOBOXINFO info{};
            info.cbSize = sizeof info;
            GetComboBoxInfo(window, &info);
            const std::wstring shown = List(control).ShownText();
            return {ToUtf8(shown), WidthOf(window, shown),
                    info.rcItem.right - info.rcItem.left - 2};
        }
        case ControlKind::Frame: {
            // The caption is drawn indented from the frame's corners.
            RECT frame;
            GetClientRect(window, &frame);
            return {ToUtf8(text), WidthOf(window, text), frame.right - 2 * LineHeight(window)};
        }
        default:
            return {ToUtf8(text), WidthOf(window, text), VisibleWidth(window)};
        }
    }
    std::string ToolTip(Control control) const override {
        const HWND tip = List(control).ToolTip();
        if (tip == nullptr)
            return {};
        const HWND combo = form_.Handle(control);
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V1_SIZE;
        tool.hwnd = GetParent(combo);
        tool.uId = reinterpret_cast<UINT_PTR>(combo);
        wchar_t text[256] = {};
        tool.lpszText = text;
        SendMessageW(tip, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
        return ToLatin1(text);
    }
    std::vector<ShownText> ShownOpen(Control list) override {
        const HWND combo = form_.Handle(list);
        SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        GetComboBoxInfo(combo, &info);
        RECT open;
        GetClientRect(info.hwndList, &open);
        std::vector<ShownText> shown;
        for (const std::string& item : Items(list)) {
            // Each item is drawn a pixel in from each side of the list.
            const std::wstring text(item.begin(), item.end());
            shown.push_back({item, WidthOf(info.hwndList, text), open.right - 2});
        }
        SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
        return shown;
    }

private:
    Win32DropDownList& List(Control list) const {
        return dynamic_cast<Win32DropDownList&>(form_.List(list));
    }
    // A label's or frame's caption, or a list's selected item.
    static std::wstring TextOf(HWND window) {
        if (IsCombo(window)) {
            const auto index = SendMessageW(window, CB_GETCURSEL, 0, 0);
            if (index < 0)
                return {};
            std::wstring text(
                static_cast<std::size_t>(SendMessageW(window, CB_GETLBTEXTLEN, index, 0)), L'\0');
            SendMessageW(window, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
            return text;
        }
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)), L'\0');
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()) + 1);
        return text;
    }
    static bool IsCombo(HWND window) {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        return lstrcmpiW(name, L"ComboBox") == 0;
    }
    // The width of text in the window's font.
    static int WidthOf(HWND window, const std::wstring& text) {
        const HDC dc = GetDC(window);
        const HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(window, dc);
        return size.cx;
    }
    static int LineHeight(HWND window) {
        const HDC dc = GetDC(window);
        const HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        ReleaseDC(window, dc);
        return metrics.tmHeight;
    }
    // The width of a label's line of text that its container does not clip
    // and no sibling above it covers.
    static int VisibleWidth(HWND label) {
        RECT line;
        GetWindowRect(label, &line);
        line.bottom = std::min(line.bottom, line.top + LineHeight(label));
        RECT container;
        GetClientRect(GetParent(label), &container);
        MapWindowPoints(GetParent(label), HWND_DESKTOP, reinterpret_cast<POINT*>(&container), 2);
        LONG right = std::min(line.right, container.right);
        for (HWND above = GetWindow(label, GW_HWNDPREV); above != nullptr;
             above = GetWindow(above, GW_HWNDPREV)) {
            RECT other;
            GetWindowRect(above, &other);
            RECT overlap;
            if (IsWindowVisible(above) != FALSE &&
                IntersectRect(&overlap, &other, &line) != FALSE && other.left > line.left)
                right = std::min(right, other.left);
        }
        return static_cast<int>(right - line.left);
    }

    Win32Form& form_;
};

} // namespace

std::unique_ptr<WindowDriver> MakeWindowDriver(FormView& form) {
    return std::make_unique<Win32WindowDriver>(dynamic_cast<Win32Form&>(form));
}

} // namespace merovane::test
