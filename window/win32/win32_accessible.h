// What a screen reader reads of a control through Active Accessibility: the
// object Windows makes for its kind of control, with the name, value and
// description the form gives it. A list would otherwise be named by its
// selected item or by whatever static text lies before it, and a button has
// no description.
#pragma once

#include <functional>
#include <string>
#include <windows.h>

namespace merovane {

struct AccessibleText {
    std::wstring name;                   // empty: the control's own
    std::function<std::wstring()> value; // empty: the control's own
    std::wstring description;            // empty: the control's own
};

// Answers WM_GETOBJECT for the control's client object with its standard
// object so annotated; nothing (0) for any other object, where oleacc.dll
// cannot be loaded from System32, or where the object cannot be made or
// handed over: the control's default procedure answers then.
LRESULT AnswerGetObject(HWND control, WPARAM wParam, LPARAM lParam, const AccessibleText& text);

} // namespace merovane
