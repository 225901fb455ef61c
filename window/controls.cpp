#include "window/controls.h"

namespace merovane {

namespace {

QString FromAnsi(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToAnsi(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

DropDownList::DropDownList(QComboBox* box) : box_(box) {
    box_->setEditable(false);
    // A pick by the user: mouse, keyboard or wheel, the selected item included.
    QObject::connect(box_, &QComboBox::activated, box_, [this](int) { RaiseClick(); });
}

void DropDownList::RaiseClick() {
    if (click_)
        click_();
}

void DropDownList::Clear() {
    const QSignalBlocker quiet(box_);
    box_->clear();
}

void DropDownList::AddItem(const std::string& text, std::optional<int> index) {
    const QSignalBlocker quiet(box_);
    const int selected = box_->currentIndex();
    box_->insertItem(index.value_or(box_->count()), FromAnsi(text));
    // A combo box selects the first item added to it; a list does not.
    if (selected < 0)
        box_->setCurrentIndex(-1);
}

void DropDownList::SetListIndex(int index) {
    {
        const QSignalBlocker quiet(box_);
        box_->setCurrentIndex(index);
    }
    RaiseClick();
}

int DropDownList::ListIndex() const {
    return box_->currentIndex();
}

std::string DropDownList::Text() const {
    return box_->currentIndex() < 0 ? std::string() : ToAnsi(box_->currentText());
}

int DropDownList::ListCount() const {
    return box_->count();
}

void DropDownList::SetEnabled(bool enabled) {
    box_->setEnabled(enabled);
}

bool DropDownList::Enabled() const {
    return !box_->testAttribute(Qt::WA_ForceDisabled);
}

Label::Label(QLabel* label) : label_(label) {
    // Device strings are untrusted: never read them as markup.
    label_->setTextFormat(Qt::PlainText);
}

void Label::SetCaption(const std::string& text) {
    label_->setText(FromAnsi(text));
}

std::string Label::Caption() const {
    return ToAnsi(label_->text());
}

IntervalTimer::IntervalTimer() {
    timer_.setTimerType(Qt::CoarseTimer);
}

void IntervalTimer::SetEnabled(bool enabled) {
    if (enabled && !timer_.isActive())
        timer_.start();
    else if (!enabled)
        timer_.stop();
}

void IntervalTimer::SetInterval(int milliseconds) {
    // Setting the interval it already has would only restart a running timer.
    if (timer_.interval() != milliseconds)
        timer_.setInterval(milliseconds);
}

void IntervalTimer::OnTick(std::function<void()> handler) {
    QObject::connect(&timer_, &QTimer::timeout, &timer_, std::move(handler));
}

} // namespace merovane
