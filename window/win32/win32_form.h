// The form in Win32: a window with a fixed single border and a close button
// only, centred on the screen, its controls built from a FormLayout at the
// resolution of its monitor, and laid out again when it moves to a monitor
// of another scale. Frames are group boxes that hold their controls and
// pass the controls' notifications on to the form; Tab moves the focus along
// the layout's tab order.
#pragma once

#include "window/form_view.h"
#include "window/win32/com_apartment.h"
#include "window/win32/form_icons.h"
#include "window/win32/win32_controls.h"

#include <array>
#include <map>
#include <memory>
#include <windows.h>

namespace merovane {

class Win32Form final : public FormView {
public:
    explicit Win32Form(const FormLayout& layout);
    ~Win32Form() override;
    Win32Form(const Win32Form&) = delete;
    Win32Form& operator=(const Win32Form&) = delete;

    DropDownListView& List(Control id) override;
    LabelView& Label(Control id) override;
    FrameView& Frame(Control id) override;
    CommandButton& Button(Control id) override;
    IntervalTimer& Timer(Control id) override;
    void Show() override;
    bool Visible() const override;
    void OnUnload(std::function<void()> handler) override { unload_ = std::move(handler); }
    void Close() override;

    // Closing the form also ends the thread's message loop.
    void QuitOnClose() { quitOnClose_ = true; }
    HWND Handle() const { return form_; }
    // The window of a control; null for the timer.
    HWND Handle(Control id) const { return handles_[static_cast<int>(id)]; }
    // The resolution the form is laid out at, in dots per inch.
    int Dpi() const { return dpi_; }
    // What WM_DPICHANGED does: the form takes the suggested rectangle and lays
    // its controls out and makes their fonts and icons again for dpi.
    void MoveToDpi(int dpi, const RECT& suggested);
    // Moves the focus to the next (or previous) control of the tab order that
    // takes input.
    void Tab(bool backwards);

private:
    struct Views {
        std::unique_ptr<Win32DropDownList> list;
        std::unique_ptr<Win32Label> label;
        std::unique_ptr<Win32Frame> frame;
        std::unique_ptr<Win32CommandButton> button;
        std::unique_ptr<Win32IntervalTimer> timer;
    };

    static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR subclass, DWORD_PTR form);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    // A control's notification: a list's selection or a button's click.
    void Command(WORD id, WORD code);
    // A control's answer to a screen reader's WM_GETOBJECT; 0: the default.
    LRESULT Accessible(HWND window, WPARAM wParam, LPARAM lParam);
    // Draws an item of an owner-drawn list.
    void Draw(const DRAWITEMSTRUCT& item);
    // The colours of a label or a frame's caption.
    LRESULT ColourStatic(HDC dc, HWND control);
    void Create(const ControlLayout& control);
    void Stack();
    // Places every control and gives it its font, at dpi_.
    void LayOut();
    HFONT FontFor(const FontLayout& layout);
    bool TakesInput(const ControlLayout& control) const;
    // The form's outer size at dpi, its client area the designed one.
    SIZE SizeAt(int dpi) const;
    Views& At(Control id) { return views_[static_cast<int>(id)]; }

    // Entered before the window exists and left after it is destroyed.
    ComApartment apartment_;
    const FormLayout& layout_;
    HWND form_ = nullptr;
    int dpi_ = 96;
    std::array<Views, ControlCount> views_;
    std::array<HWND, ControlCount> handles_{};
    std::map<const FontLayout*, HFONT> fonts_;
    FormIcons icons_;
    std::function<void()> unload_;
    bool quitOnClose_ = false;
};

} // namespace merovane
