// The controls' views over Qt widgets. Each view wraps a widget that its
// parent owns; the timer owns its QTimer.
#pragma once

#include "window/controls.h"
#include "window/qt/eliding_combo_box.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace merovane {

// fittedWidth, when given, makes a list that grows: from the width its closed
// box needs to show an item whole, it gives the box's width, and the list
// shows its selected item as its tooltip too. Otherwise the box keeps its
// width.
class QtDropDownList final : public DropDownListView {
public:
    explicit QtDropDownList(ElidingComboBox* box, std::function<int(int)> fittedWidth = {});
    void ShowItems(const std::vector<std::string>& items) override;
    void ShowIndex(int index) override;
    void ShowEnabled(bool enabled) override;
    void OnPick(std::function<void(int)> picked) override;
    ElidingComboBox* Widget() const { return box_; }

private:
    // Gives the box the width its widest item needs, as far as it may grow.
    void FitWidth();
    void ShowToolTip();

    ElidingComboBox* box_;
    std::function<int(int)> fittedWidth_;
};

class QtLabel final : public LabelView {
public:
    explicit QtLabel(QLabel* label);
    void ShowText(const std::string& text) override;
    QLabel* Widget() const { return label_; }

private:
    QLabel* label_;
};

// Qt disables a group box's children along with it and gives each back its
// own setting when the box is enabled again.
class QtFrame final : public FrameView {
public:
    explicit QtFrame(QGroupBox* box) : box_(box) {}
    void ShowEnabled(bool enabled) override;
    QGroupBox* Widget() const { return box_; }

private:
    QGroupBox* box_;
};

class QtCommandButton final : public CommandButton {
public:
    explicit QtCommandButton(QPushButton* button) : button_(button) {}
    void OnClick(std::function<void()> handler) override;
    QPushButton* Widget() const { return button_; }

private:
    QPushButton* button_;
};

class QtIntervalTimer final : public IntervalTimer {
public:
    QtIntervalTimer();
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return timer_.isActive(); }
    void SetInterval(int milliseconds) override;
    int Interval() const override { return timer_.interval(); }
    void OnTick(std::function<void()> handler) override;

private:
    QTimer timer_;
};

} // namespace merovane
