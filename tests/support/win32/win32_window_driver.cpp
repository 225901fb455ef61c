// The window driver over the Win32 backend: the user's input as the controls
// receive it, in messages sent to them.
#include "support/window_driver.h"
#include "window/win32/win32_form.h"

namespace merovane::test {
namespace {

std::string ToLatin1(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text)
        narrow.push_back(static_cast<char>(c));
    return narrow;
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
        static constexpr WPARAM keys[] = {VK_TAB, VK_SPACE, VK_DOWN};
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

private:
    Win32Form& form_;
};

} // namespace

std::unique_ptr<WindowDriver> MakeWindowDriver(FormView& form) {
    return std::make_unique<Win32WindowDriver>(dynamic_cast<Win32Form&>(form));
}

} // namespace merovane::test
