#include "window/qt/qt_controls.h"

#include <algorithm>

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

QtDropDownList::QtDropDownList(ElidingComboBox* box, std::function<int(int)> fittedWidth)
    : box_(box), fittedWidth_(std::move(fittedWidth)) {
    box_->setEditable(false);
    // Before the pick reaches the logic, whose handler may select again.
    QObject::connect(box_, &QComboBox::activated, box_, [this] { ShowToolTip(); });
}

void QtDropDownList::ShowItems(const std::vector<std::string>& items) {
    const QSignalBlocker quiet(box_);
    box_->clear();
    for (const std::string& text : items)
        box_->addItem(FromAnsi(text));
    FitWidth();
    ShowToolTip();
}

void QtDropDownList::FitWidth() {
    if (!fittedWidth_)
        return;
    int widest = 0;
    for (int i = 0; i < box_->count(); ++i)
        widest = std::max(widest, box_->fontMetrics().horizontalAdvance(box_->itemText(i)));
    // What the box draws around its text stays the same at any width.
    const int around = box_->width() - box_->ShownTextRoom();
    box_->resize(fittedWidth_(widest + around), box_->height());
}

void QtDropDownList::ShowToolTip() {
    if (fittedWidth_)
        box_->setToolTip(box_->currentText());
}

void QtDropDownList::ShowIndex(int index) {
    const QSignalBlocker quiet(box_);
    box_->setCurrentIndex(index);
    ShowToolTip();
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
