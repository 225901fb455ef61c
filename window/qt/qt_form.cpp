#include "window/qt/qt_form.h"

#include "window/qt/qt_accessibility.h"
#include "window/qt/window_look.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <vector>

namespace merovane {

std::unique_ptr<FormView> MakeFormView(const FormLayout& layout) {
    return std::make_unique<QtForm>(layout);
}

namespace {

void ShapeLabel(QLabel* label, LabelLook look) {
    if (look == LabelLook::Value) {
        // Window text on a background set to the window colour but never
        // drawn, so the frame shows through.
        label->setAutoFillBackground(false);
        label->setForegroundRole(QPalette::Text);
        label->setBackgroundRole(QPalette::Base);
    } else {
        label->setAutoFillBackground(true);
        label->setBackgroundRole(QPalette::Button);
        label->setForegroundRole(QPalette::ButtonText);
    }
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(false);
}

} // namespace

QtForm::QtForm(const FormLayout& layout) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen != nullptr ? screen->logicalDotsPerInch() : 96.0;

    setObjectName(layout.name);
    setWindowTitle(layout.caption);
    setWindowIcon(WindowIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    const QSize client(TwipsToPixels(layout.clientWidth, dpi),
                       TwipsToPixels(layout.clientHeight, dpi));
    setFixedSize(client);
    if (screen != nullptr)
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, client,
                                        screen->availableGeometry()));

    for (const ControlLayout& control : layout.controls)
        Create(control, dpi);
    StackAndChainFocus(layout);
    for (const ControlLayout& control : layout.controls)
        if (control.labelledBy || control.look == LabelLook::Value)
            LabelForScreenReaders(Widget(control.id),
                                  control.labelledBy ? Widget(*control.labelledBy) : nullptr);
}

void QtForm::Create(const ControlLayout& control, double dpi) {
    Views& views = At(control.id);
    QWidget* container = control.frame ? Widget(*control.frame) : this;
    QWidget* widget = nullptr;
    switch (control.kind) {
    case ControlKind::CommandButton: {
        auto* button = new QPushButton(control.caption, container);
        button->setAutoDefault(false);
        button->setDefault(false);
        views.button = std::make_unique<QtCommandButton>(button);
        widget = button;
        break;
    }
    case ControlKind::Frame: {
        auto* box = new QGroupBox(control.caption, container);
        views.frame = std::make_unique<QtFrame>(box);
        widget = box;
        break;
    }
    case ControlKind::DropDownList: {
        std::function<int(int)> fittedWidth;
        if (control.roomWidth > 0)
            fittedWidth = [&control, dpi](int needed) {
                return CaptionWidth(control, needed, dpi);
            };
        views.list = std::make_unique<QtDropDownList>(new ElidingComboBox(container),
                                                      std::move(fittedWidth));
        widget = views.list->Widget();
        break;
    }
    case ControlKind::Label: {
        auto* label = new QLabel(container);
        ShapeLabel(label, control.look);
        views.label = std::make_unique<QtLabel>(label);
        widget = label;
        break;
    }
    case ControlKind::Timer:
        views.timer = std::make_unique<QtIntervalTimer>();
        return;
    }
    widget->setObjectName(control.name);
    widget->setFont(DesignedFont(*control.font));
    QRect place = TwipsRect(control.place.left, control.place.top, control.place.width,
                            control.place.height, dpi);
    place.setWidth(
        CaptionWidth(control, widget->fontMetrics().horizontalAdvance(control.caption), dpi));
    widget->setGeometry(place);
    if (control.description != nullptr)
        widget->setAccessibleDescription(control.description);
    // Frames and labels never take the focus; the others take it from Tab.
    widget->setFocusPolicy(
        control.takesFocus ? static_cast<Qt::FocusPolicy>(widget->focusPolicy() | Qt::StrongFocus)
                           : Qt::NoFocus);
    widgets_[static_cast<int>(control.id)] = widget;
}

void QtForm::StackAndChainFocus(const FormLayout& layout) {
    // A later sibling already lies above an earlier one.
    for (const ControlLayout& control : layout.controls)
        if (control.onTop)
            Widget(control.id)->raise();

    std::vector<const ControlLayout*> chain;
    for (const ControlLayout& control : layout.controls)
        if (control.takesFocus)
            chain.push_back(&control);
    std::ranges::sort(chain, {}, &ControlLayout::tabIndex);
    for (std::size_t i = 1; i < chain.size(); ++i)
        setTabOrder(Widget(chain[i - 1]->id), Widget(chain[i]->id));
}

DropDownListView& QtForm::List(Control id) {
    return *At(id).list;
}

LabelView& QtForm::Label(Control id) {
    return *At(id).label;
}

FrameView& QtForm::Frame(Control id) {
    return *At(id).frame;
}

CommandButton& QtForm::Button(Control id) {
    return *At(id).button;
}

IntervalTimer& QtForm::Timer(Control id) {
    return *At(id).timer;
}

void QtForm::Show() {
    show();
}

void QtForm::closeEvent(QCloseEvent* event) {
    // Closing is never refused.
    if (unload_)
        unload_();
    event->accept();
}

} // namespace merovane
