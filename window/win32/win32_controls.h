// The controls' views over Win32 windows: a CBS_DROPDOWNLIST combo box, a
// STATIC label, a group box, a push button and a window timer. The form
// (win32_form.h) makes the windows and passes their notifications on.
#pragma once

#include "window/controls.h"
#include "window/form_layout.h"

#include <vector>
#include <windows.h>

namespace merovane {

// Texts are single-byte Latin-1: each byte is the character of that code.
std::wstring FromLatin1(const std::string& text);

class Win32Frame;

// An owner-drawn combo box: the closed box draws its selected item elided in
// the middle when the item is wider than the box, and a list whose layout
// gives it room grows to show its widest item whole and shows its selected
// item as its tooltip.
class Win32DropDownList final : public DropDownListView {
public:
    // frame: the group box that holds the list, whose Enabled setting it shares.
    Win32DropDownList(HWND combo, const Win32Frame& frame, const ControlLayout& layout);
    void ShowItems(const std::vector<std::string>& items) override;
    void ShowIndex(int index) override;
    void ShowEnabled(bool enabled) override;
    void OnPick(std::function<void(int)> picked) override { picked_ = std::move(picked); }

    // A notification the combo box sent its parent.
    void Notify(WORD code);
    // Enables the window when both the list's own setting and its frame's allow.
    void ApplyEnabled();
    // The selected item's text; empty when none is selected.
    std::wstring SelectedText() const;
    // The text the closed box draws.
    std::wstring ShownText() const;
    // Draws an item the combo box asked its parent to draw.
    void Draw(const DRAWITEMSTRUCT& item) const;
    // Sizes the list for its font and items at dpi: the height of the items
    // it drops, the width of the list it drops, and the width of the closed
    // box as far as its room allows.
    void Fit(int dpi);
    HWND Handle() const { return combo_; }
    // The tooltip window; null for a list without room.
    HWND ToolTip() const { return toolTip_; }

private:
    // The width the closed box draws its text within.
    int ShownTextRoom() const;
    void ShowToolTip();

    HWND combo_;
    const Win32Frame& frame_;
    const ControlLayout& layout_;
    HWND toolTip_ = nullptr;
    int index_ = -1;            // the item shown selected
    bool enabled_ = true;       // the list's own setting
    bool windowEnabled_ = true; // the window's, which the frame's setting also decides
    int dpi_ = 96;
    std::function<void(int)> picked_;
};

class Win32Label final : public LabelView {
public:
    // transparent: the label draws no background, so its old text is erased
    // by repainting what lies beneath it.
    Win32Label(HWND label, bool transparent) : label_(label), transparent_(transparent) {}
    void ShowText(const std::string& text) override;
    HWND Handle() const { return label_; }

private:
    HWND label_;
    bool transparent_;
};

// A disabled group box disables the lists it holds as well; enabled again, it
// gives each back its own setting.
class Win32Frame final : public FrameView {
public:
    explicit Win32Frame(HWND box) : box_(box) {}
    void ShowEnabled(bool enabled) override;
    bool Enabled() const { return enabled_; }
    void Hold(Win32DropDownList& list) { lists_.push_back(&list); }
    HWND Handle() const { return box_; }

private:
    HWND box_;
    bool enabled_ = true;
    std::vector<Win32DropDownList*> lists_;
};

class Win32CommandButton final : public CommandButton {
public:
    explicit Win32CommandButton(HWND button) : button_(button) {}
    void OnClick(std::function<void()> handler) override { click_ = std::move(handler); }
    // The button told its parent it was clicked.
    void Clicked();
    HWND Handle() const { return button_; }

private:
    HWND button_;
    std::function<void()> click_;
};

// A timer of the owner window: its ticks arrive as WM_TIMER with this id.
class Win32IntervalTimer final : public IntervalTimer {
public:
    Win32IntervalTimer(HWND owner, UINT_PTR id) : owner_(owner), id_(id) {}
    ~Win32IntervalTimer() override;
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return running_; }
    void SetInterval(int milliseconds) override;
    int Interval() const override { return interval_; }
    void OnTick(std::function<void()> handler) override { tick_ = std::move(handler); }
    void Tick();

private:
    HWND owner_;
    UINT_PTR id_;
    bool running_ = false;
    int interval_ = 0;
    std::function<void()> tick_;
};

} // namespace merovane
