#include "window/controls.h"

#include <algorithm>

namespace merovane {

DropDownList::DropDownList(DropDownListView& view) : view_(view) {
    // A pick by the user: mouse, keyboard or wheel, the selected item included.
    view_.OnPick([this](int index) {
        index_ = index;
        shownIndex_ = index;
        if (click_)
            click_();
    });
}

void DropDownList::Update() {
    if (batches_ == 0)
        Show();
}

void DropDownList::Show() {
    if (items_ != shown_) {
        view_.ShowItems(items_);
        shown_ = items_;
        // A toolkit may select an item it is given; the record says what is selected.
        shownIndex_.reset();
    }
    if (shownIndex_ != index_) {
        view_.ShowIndex(index_);
        shownIndex_ = index_;
    }
    if (shownEnabled_ != enabled_) {
        view_.ShowEnabled(enabled_);
        shownEnabled_ = enabled_;
    }
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

void Label::SetCaption(const std::string& text) {
    if (text == caption_)
        return;
    caption_ = text;
    view_.ShowText(text);
}

void Frame::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (batches_ == 0)
        Show();
}

void Frame::Show() {
    if (shown_ == enabled_)
        return;
    view_.ShowEnabled(enabled_);
    shown_ = enabled_;
}

} // namespace merovane
