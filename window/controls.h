// The controls of the window, with the operations the window's logic performs
// on them, over Qt widgets.
//
// A drop-down list raises Click when the user picks an item (mouse, keyboard
// or wheel, also the item already selected) and when code sets ListIndex:
// synchronously, before SetListIndex returns. Clear and AddItem never raise it
// and never select. Texts are single-byte (Latin-1) strings; labels and lists
// always show them as plain text.
//
// A timer tick clears and refills the lists and disables and enables controls,
// mostly to end where it began. While a Batch is open on a list or a frame,
// its operations work on the control's own record (what the window's logic
// reads back, and what every Click sees), and the widget is brought to that
// record when the last batch closes, touching only what differs: a window
// that did not change is neither rebuilt nor repainted.
#pragma once

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace merovane {

class DropDownList {
public:
    class Batch {
    public:
        explicit Batch(DropDownList& list) : list_(list) { ++list_.batches_; }
        ~Batch() {
            if (--list_.batches_ == 0)
                list_.Show();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        DropDownList& list_;
    };

    explicit DropDownList(QComboBox* box);
    DropDownList(const DropDownList&) = delete;
    DropDownList& operator=(const DropDownList&) = delete;

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
    // Brings the widget to the record, unless a batch is open.
    void Update();
    // Brings the widget to the record, touching only what differs.
    void Show();

    QComboBox* box_;
    std::function<void()> click_;
    std::vector<std::string> items_; // the record: items, selection, own Enabled setting
    int index_ = -1;
    bool enabled_ = true;
    std::vector<std::string> shown_; // the widget's items, as the list put them there
    int batches_ = 0;
};

class Label {
public:
    explicit Label(QLabel* label);
    // Sets the text; the same text again changes nothing and repaints nothing.
    void SetCaption(const std::string& text);
    const std::string& Caption() const { return caption_; }
    QLabel* Widget() const { return label_; }

private:
    QLabel* label_;
    std::string caption_; // the text the label shows, as it was set
};

// A disabled frame takes no input, and neither does anything inside it,
// whatever the controls' own Enabled settings.
class Frame {
public:
    class Batch {
    public:
        explicit Batch(Frame& frame) : frame_(frame) { ++frame_.batches_; }
        ~Batch() {
            if (--frame_.batches_ == 0)
                frame_.Show();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        Frame& frame_;
    };

    explicit Frame(QGroupBox* box) : box_(box) {}
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    QGroupBox* Widget() const { return box_; }

private:
    void Show();

    QGroupBox* box_;
    bool enabled_ = true;
    int batches_ = 0;
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
