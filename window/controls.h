// The controls of the window, with the operations the window's logic performs
// on them, over Qt widgets.
//
// A drop-down list raises Click when the user picks an item (mouse, keyboard
// or wheel, also the item already selected) and when code sets ListIndex:
// synchronously, before SetListIndex returns. Clear and AddItem never raise it
// and never select. Texts are single-byte (Latin-1) strings; labels and lists
// always show them as plain text.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>

namespace merovane {

class DropDownList {
public:
    explicit DropDownList(QComboBox* box);

    // Removes every item; no item is selected and the text is empty.
    void Clear();
    // Inserts text as a new item at index, or last when no index is given.
    void AddItem(const std::string& text, std::optional<int> index = std::nullopt);
    // Selects the item at index (-1: none) and raises Click.
    void SetListIndex(int index);
    // The index of the selected item, -1 when none is.
    int ListIndex() const;
    // The text of the selected item, empty when none is.
    std::string Text() const;
    int ListCount() const;
    void SetEnabled(bool enabled);
    bool Enabled() const;

    void OnClick(std::function<void()> handler) { click_ = std::move(handler); }
    QComboBox* Widget() const { return box_; }

private:
    void RaiseClick();

    QComboBox* box_;
    std::function<void()> click_;
};

class Label {
public:
    explicit Label(QLabel* label);
    void SetCaption(const std::string& text);
    std::string Caption() const;
    QLabel* Widget() const { return label_; }

private:
    QLabel* label_;
};

// A disabled frame takes no input, and neither does anything inside it,
// whatever the controls' own Enabled settings.
class Frame {
public:
    explicit Frame(QGroupBox* box) : box_(box) {}
    void SetEnabled(bool enabled) { box_->setEnabled(enabled); }
    bool Enabled() const { return !box_->testAttribute(Qt::WA_ForceDisabled); }
    QGroupBox* Widget() const { return box_; }

private:
    QGroupBox* box_;
};

class IntervalTimer {
public:
    IntervalTimer();
    // True starts the ticks, false stops them.
    void SetEnabled(bool enabled);
    bool Enabled() const { return timer_.isActive(); }
    // The time between ticks in milliseconds; a running timer counts afresh.
    void SetInterval(int milliseconds);
    int Interval() const { return timer_.interval(); }
    void OnTick(std::function<void()> handler);

private:
    QTimer timer_;
};

} // namespace merovane
