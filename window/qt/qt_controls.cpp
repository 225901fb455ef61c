#include "window/qt/qt_controls.h"

namespace merovane {

namespace {

QString FromAnsi(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Sets a widget's own Enabled setting, leaving it alone when it has it:
// setEnabled would repaint it and may move the focus.
void ShowWidgetEnabled(QWidget* widget, bool enabled) {
    if (widget->testAttribute(Qt::WA_ForceDisabled) == enabled)
        widget->setEnabled(enabled);
}

} // namespace

QtDropDownList::QtDropDownList(QComboBox* box) : box_(box) {
    box_->setEditable(false);
}

void QtDropDownList::ShowItems(const std::vector<std::string>& items) {
    const QSignalBlocker quiet(box_);
    box_->clear();
    for (const std::string& text : items)
        box_->addItem(FromAnsi(text));
}

void QtDropDownList::ShowIndex(int index) {
    const QSignalBlocker quiet(box_);
    box_->setCurrentIndex(index);
}

void QtDropDownList::ShowEnabled(bool enabled) {
    ShowWidgetEnabled(box_, enabled);
}

void QtDropDownList::OnPick(std::function<void(int)> picked) {
    // activated: a pick by the user with the mouse, the keyboard or the wheel,
    // the item already selected included; never a change made by code.
    QObject::connect(box_, &QComboBox::activated, box_, std::move(picked));
}

QtLabel::QtLabel(QLabel* label) : label_(label) {
    // Device strings are untrusted: never read them as markup.
    label_->setTextFormat(Qt::PlainText);
}

void QtLabel::ShowText(const std::string& text) {
    label_->setText(FromAnsi(text));
}

void QtFrame::ShowEnabled(bool enabled) {
    ShowWidgetEnabled(box_, enabled);
}

void QtCommandButton::OnClick(std::function<void()> handler) {
    QObject::connect(button_, &QPushButton::clicked, button_, std::move(handler));
}

QtIntervalTimer::QtIntervalTimer() {
    timer_.setTimerType(Qt::CoarseTimer);
}

void QtIntervalTimer::SetEnabled(bool enabled) {
    if (enabled && !timer_.isActive())
        timer_.start();
    else if (!enabled)
        timer_.stop();
}

void QtIntervalTimer::SetInterval(int milliseconds) {
    // Setting the interval it already has would only restart a running timer.
    if (timer_.interval() != milliseconds)
        timer_.setInterval(milliseconds);
}

void QtIntervalTimer::OnTick(std::function<void()> handler) {
    QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(handler));
}

} // namespace merovane
