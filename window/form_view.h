// The form on screen: what a toolkit backend builds from a FormLayout, and
// the views of its controls that the window's logic drives.
#pragma once

#include "window/controls.h"
#include "window/form_layout.h"

#include <functional>
#include <memory>

namespace merovane {

class FormView {
public:
    virtual ~FormView() = default;

    // The view of the control with this id; the id must be of that kind.
    virtual DropDownListView& List(Control id) = 0;
    virtual LabelView& Label(Control id) = 0;
    virtual FrameView& Frame(Control id) = 0;
    virtual CommandButton& Button(Control id) = 0;
    virtual IntervalTimer& Timer(Control id) = 0;

    // Puts the form on screen and paints it before returning.
    virtual void Show() = 0;
    virtual bool Visible() const = 0;
    // Called once when the user closes the form, which is never refused; the
    // form is hidden afterwards.
    virtual void OnUnload(std::function<void()> handler) = 0;
    // Closes the form as the user would.
    virtual void Close() = 0;
};

// The form built by the backend this program is linked with.
std::unique_ptr<FormView> MakeFormView(const FormLayout& layout);

} // namespace merovane
