// The window of a scenario and what its user does to it, on whichever host
// the scenario runs: the simulated one, or the real one in the guest. The
// test drives the timer; nothing waits.
#pragma once

#include "window/frm_main.h"

#include <QComboBox>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace merovane::test {

template <typename Host> class WindowUser : public ::testing::Test {
protected:
    // The program starts: the window is made and loaded.
    void Start() {
        window_ = std::make_unique<frmMain>(host);
        window_->Load();
    }
    // One tick of the window's timer, which must be running.
    void Tick() {
        ASSERT_TRUE(window_->Timer.Enabled()) << "the timer does not run";
        window_->Timer_Timer();
    }
    // The user picks an item; the list must take input (it and its frame enabled).
    void PickSerial(int index) { Pick(window_->SerNo, index); }
    void PickMode(int index) { Pick(window_->Enc1, index); }
    // The user presses Command1.
    void PressCommand1() { window_->Command1->click(); }
    // The user closes the window.
    void Close() { window_->close(); }

    bool Started() const { return window_ != nullptr; }
    frmMain& Window() { return *window_; }
    const FormState& State() const { return window_->State(); }

    static std::vector<std::string> Items(const DropDownList& list) {
        std::vector<std::string> items;
        for (int i = 0; i < list.ListCount(); ++i)
            items.push_back(list.Widget()->itemText(i).toLatin1().toStdString());
        return items;
    }
    static bool TakesInput(const DropDownList& list) { return list.Widget()->isEnabled(); }

    Host host;

private:
    void Pick(DropDownList& list, int index) {
        ASSERT_TRUE(TakesInput(list)) << "the list takes no input";
        ASSERT_GE(index, 0);
        ASSERT_LT(index, list.ListCount());
        // What the combo box does for a pick with the mouse or the keyboard.
        QComboBox* box = list.Widget();
        box->setCurrentIndex(index);
        emit box->activated(index);
    }

    std::unique_ptr<frmMain> window_;
};

} // namespace merovane::test
