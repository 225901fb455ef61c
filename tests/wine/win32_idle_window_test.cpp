// What the Win32 window's two lists receive while the window waits and
// while the user runs through an open list, seen in the messages sent to them.
#include "support/window_scenario.h"
#include "window/win32/win32_form.h"

#include <array>

namespace merovane::test {
namespace {

using IdleWindow = WindowScenario;
using enum Control;

// Counts the messages the thread sends to the form's two lists while it lives.
class ListMessages {
public:
    explicit ListMessages(const Win32Form& form) {
        lists_ = {form.Handle(SerNo), form.Handle(Enc1)};
        count_ = 0;
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, &Seen, nullptr, GetCurrentThreadId());
    }
    ~ListMessages() { UnhookWindowsHookEx(hook_); }
    ListMessages(const ListMessages&) = delete;
    ListMessages& operator=(const ListMessages&) = delete;
    int Count() const { return count_; }

private:
    static LRESULT CALLBACK Seen(int code, WPARAM wParam, LPARAM lParam) {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && (message->hwnd == lists_[0] || message->hwnd == lists_[1]))
            ++count_;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline std::array<::HWND, 2> lists_{};
    static inline int count_ = 0;
    HHOOK hook_;
};

TEST_F(IdleWindow, WaitingForADividerItNeitherTellsNorAsksItsListsAnything) {
    Plug(Keyboard());
    Start();
    const Win32Form& form = dynamic_cast<Win32Form&>(Window().View());
    Tick();
    {
        const ListMessages sent(form);
        for (int tick = 0; tick < 10; ++tick)
            Tick();
        EXPECT_EQ(sent.Count(), 0);
    }

    Plug(Divider(u"T1"));
    const ListMessages sent(form);
    Tick();
    EXPECT_GT(sent.Count(), 0);
    EXPECT_EQ(Items(Window().SerNo), std::vector<std::string>{"T1"});
}

TEST_F(IdleWindow, AListRunThroughOpenAndClosedWithoutAPickShowsItsSelectionAgain) {
    Plug(Divider(u"T1"));
    Plug(Divider(u"T2"));
    Start();
    const HWND serials = dynamic_cast<Win32Form&>(Window().View()).Handle(SerNo);
    ASSERT_EQ(User().Shown(SerNo).text, "T2");

    SendMessageW(serials, CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageW(serials, WM_KEYDOWN, VK_UP, 1);
    ASSERT_EQ(SendMessageW(serials, CB_GETCURSEL, 0, 0), 0);
    SendMessageW(serials, WM_KEYDOWN, VK_ESCAPE, 1);
    Tick();

    EXPECT_EQ(User().Shown(SerNo).text, "T2");
    EXPECT_EQ(Window().SerNo.Text(), "T2");
}

} // namespace
} // namespace merovane::test
