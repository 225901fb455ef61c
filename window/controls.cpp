#include "window/controls.h"

#include <algorithm>

namespace merovane {

namespace {

QString FromAnsi(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

DropDownList::DropDownList(QComboBox* box) : box_(box) {
    box_->setEditable(false);
    // A pick by the user: mouse, keyboard or wheel, the selected item included.
    QObject::connect(box_, &QComboBox::activated, box_, [this](int index) {
        index_ = index;
        if (click_)
            click_();
    });
}

void DropDownList::Update() {
    if (batches_ == 0)
        Show();
}

void DropDownList::Show() {
    const QSignalBlocker quiet(box_);
    if (items_ != shown_) {
        box_->clear();
        for (const std::string& text : items_)
            box_->addItem(FromAnsi(text));
        shown_ = items_;
    }
    // A combo box selects the first item added to it; the record says what is selected.
    if (box_->currentIndex() != index_)
        box_->setCurrentIndex(index_);
    if (box_->testAttribute(Qt::WA_ForceDisabled) == enabled_)
        box_->setEnabled(enabled_);
}

void DropDownList::Clear() {
    items_.clear();
    index_ = -1;
    Update();
}

void DropDownList::AddItem(const std::string& text, std::optional<int> index) {
    const int count = ListCount();
    const int at = std::clamp(index.value_or(count), 0, count);
    items_.insert(items_.begin() + at, text);
    // The selection moves along with its item.
    if (index_ >= at)
        ++index_;
    Update();
}

void DropDownList::SetListIndex(int index) {
    index_ = index >= 0 && index < ListCount() ? index : -1;
    Update();
    if (click_)
        click_();
}

int DropDownList::ListIndex() const {
    return index_;
}

std::string DropDownList::Text() const {
    return index_ < 0 ? std::string() : items_[static_cast<std::size_t>(index_)];
}

int DropDownList::ListCount() const {
    return static_cast<int>(items_.size());
}

void DropDownList::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Update();
}

bool DropDownList::Enabled() const {
    return enabled_;
}

Label::Label(QLabel* label) : label_(label) {
    // Device strings are untrusted: never read them as markup.
    label_->setTextFormat(Qt::PlainText);
}

void Label::SetCaption(const std::string& text) {
    if (text == caption_)
        return;
    caption_ = text;
    label_->setText(FromAnsi(text));
}

void Frame::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (batches_ == 0)
        Show();
}

void Frame::Show() {
    if (box_->testAttribute(Qt::WA_ForceDisabled) == enabled_)
        box_->setEnabled(enabled_);
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
