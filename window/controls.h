// The controls of the window, with the operations the window's logic performs
// on them, free of any toolkit. A backend (window/qt/, window/win32/) supplies
// the views: what shows the controls on screen and tells of the user's input.
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
// reads back, and what every Click sees), and the view is brought to that
// record when the last batch closes, touching only what differs: a window
// that did not change is neither rebuilt nor repainted. Each control also
// remembers what its view shows (what it told the view, and the user's picks
// the view reported), so an unchanged window is not even asked what it shows.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace merovane {

// What a backend shows of a drop-down list. Nothing here raises a pick.
class DropDownListView {
public:
    virtual ~DropDownListView() = default;
    // Replaces every item; what is selected afterwards is up to the toolkit.
    virtual void ShowItems(const std::vector<std::string>& items) = 0;
    // Selects the item at index (-1: none).
    virtual void ShowIndex(int index) = 0;
    // The list's own Enabled setting.
    virtual void ShowEnabled(bool enabled) = 0;
    // Called with the item's index each time the user picks an item; the
    // list then shows that item. The user changes the selection in no other
    // way: a selection moved in the open list that is not picked is put back.
    virtual void OnPick(std::function<void(int)> picked) = 0;
};

class LabelView {
public:
    virtual ~LabelView() = default;
    virtual void ShowText(const std::string& text) = 0;
};

// A disabled frame takes no input, and neither does anything inside it,
// whatever the controls' own Enabled settings.
class FrameView {
public:
    virtual ~FrameView() = default;
    virtual void ShowEnabled(bool enabled) = 0;
};

class CommandButton {
public:
    virtual ~CommandButton() = default;
    // Called when the user presses the button: mouse, or the keyboard while
    // it has the focus.
    virtual void OnClick(std::function<void()> handler) = 0;
};

// Ticks come from the event loop only, never inside a running handler.
class IntervalTimer {
public:
    virtual ~IntervalTimer() = default;
    // True starts the ticks, false stops them.
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    // The time between ticks in milliseconds; a running timer counts afresh,
    // unless the interval is the one it has.
    virtual void SetInterval(int milliseconds) = 0;
    virtual int Interval() const = 0;
    virtual void OnTick(std::function<void()> handler) = 0;
};

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

    explicit DropDownList(DropDownListView& view);
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

private:
    // Brings the view to the record, unless a batch is open.
    void Update();
    // Brings the view to the record, touching only what differs.
    void Show();

    DropDownListView& view_;
    std::function<void()> click_;
    std::vector<std::string> items_; // the record: items, selection, own Enabled setting
    int index_ = -1;
    bool enabled_ = true;
    // What the view shows, as the list put it there or the user picked it;
    // none: not known, as after the toolkit was given new items.
    std::vector<std::string> shown_;
    std::optional<int> shownIndex_;
    std::optional<bool> shownEnabled_;
    int batches_ = 0;
};

class Label {
public:
    explicit Label(LabelView& view) : view_(view) {}
    // Sets the text; the same text again changes nothing and repaints nothing.
    void SetCaption(const std::string& text);
    const std::string& Caption() const { return caption_; }

private:
    LabelView& view_;
    std::string caption_; // the text the label shows, as it was set
};

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

    explicit Frame(FrameView& view) : view_(view) {}
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }

private:
    // Brings the view to the record when it shows something else.
    void Show();

    FrameView& view_;
    bool enabled_ = true;
    std::optional<bool> shown_; // the view's setting; none until it is first set
    int batches_ = 0;
};

} // namespace merovane
