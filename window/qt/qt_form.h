// The form in Qt Widgets: a fixed-size top-level widget with a close button
// only, centred on the screen, its controls built from a FormLayout.
#pragma once

#include "window/form_view.h"
#include "window/qt/qt_controls.h"

#include <QWidget>
#include <array>
#include <memory>

namespace merovane {

class QtForm final : public QWidget, public FormView {
public:
    explicit QtForm(const FormLayout& layout);

    DropDownListView& List(Control id) override;
    LabelView& Label(Control id) override;
    FrameView& Frame(Control id) override;
    CommandButton& Button(Control id) override;
    IntervalTimer& Timer(Control id) override;
    void Show() override;
    bool Visible() const override { return isVisible(); }
    void OnUnload(std::function<void()> handler) override { unload_ = std::move(handler); }
    void Close() override { close(); }

    // The widget of a control; null for the timer.
    QWidget* Widget(Control id) const { return widgets_[static_cast<int>(id)]; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Views {
        std::unique_ptr<QtDropDownList> list;
        std::unique_ptr<QtLabel> label;
        std::unique_ptr<QtFrame> frame;
        std::unique_ptr<QtCommandButton> button;
        std::unique_ptr<QtIntervalTimer> timer;
    };

    // Makes the control's widget inside its container, with its view.
    void Create(const ControlLayout& control, double dpi);
    void StackAndChainFocus(const FormLayout& layout);
    Views& At(Control id) { return views_[static_cast<int>(id)]; }

    std::array<Views, ControlCount> views_;
    std::array<QWidget*, ControlCount> widgets_{};
    std::function<void()> unload_;
};

} // namespace merovane
