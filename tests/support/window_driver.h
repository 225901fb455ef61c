// What the user does to the window and what the window shows, through the
// toolkit it is built on: the one seam between the window scenarios and a
// backend, so that the same scenarios run on each.
#pragma once

#include "window/form_view.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace merovane::test {

struct PixelRect {
    int left, top, width, height;
    bool operator==(const PixelRect&) const = default;
};

// A text a control shows: the width it takes there in the control's font
// (with the margins the toolkit draws it within, where the room does not
// leave them out) and the room the control gives it, in the screen's pixels.
struct ShownText {
    std::string text; // UTF-8
    int width, room;
};

class WindowDriver {
public:
    enum class Key { Tab, Space, Down, Up };

    virtual ~WindowDriver() = default;
    // The user picks the item at index in a list with the mouse.
    virtual void Pick(Control list, int index) = 0;
    // The user clicks a button.
    virtual void Press(Control button) = 0;
    // The window becomes the active one and the control takes the focus.
    virtual void Focus(Control control) = 0;
    // The user types a key into the control with the focus.
    virtual void Type(Key key) = 0;
    // The control with the focus, if one of the form's has it.
    virtual std::optional<Control> Focused() const = 0;
    // The user closes the window.
    virtual void Close() = 0;

    // The items a list shows, in order.
    virtual std::vector<std::string> Items(Control list) const = 0;
    // The text a label shows.
    virtual std::string Text(Control label) const = 0;
    // The control takes the user's input: it and its frame are enabled.
    virtual bool TakesInput(Control control) const = 0;
    virtual bool Visible() const = 0;
    // The control's rectangle in its container, in the screen's pixels.
    virtual PixelRect Place(Control control) const = 0;
    // The resolution of the screen the form is on, in dots per inch.
    virtual double Dpi() const = 0;
    // The form moves to a screen of this display scale (100: 96 dots per
    // inch), where it lays itself out again.
    virtual void MoveToScale(int percent) = 0;
    // The caption of a label or a frame, or the selected item of a closed
    // list; the room is the part of the control the user sees, less the
    // margins the toolkit draws the text within.
    virtual ShownText Shown(Control control) const = 0;
    // The tooltip the control shows when the mouse rests on it; empty: none.
    virtual std::string ToolTip(Control control) const = 0;
    // The items of a list as the list shows them when the user opens it.
    virtual std::vector<ShownText> ShownOpen(Control list) = 0;
};

// The driver of a form built by the backend the tests are linked with.
std::unique_ptr<WindowDriver> MakeWindowDriver(FormView& form);

} // namespace merovane::test
