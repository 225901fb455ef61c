// The window of a scenario and what its user does to it, on whichever host
// the scenario runs: the simulated one, or the real one in the guest, and
// through whichever toolkit backend the tests are built with. The test drives
// the timer; nothing waits.
#pragma once

#include "support/window_driver.h"
#include "window/frm_main.h"

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
        driver_ = MakeWindowDriver(window_->View());
        window_->Load();
    }
    // One tick of the window's timer, which must be running.
    void Tick() {
        ASSERT_TRUE(window_->Timer.Enabled()) << "the timer does not run";
        window_->Timer_Timer();
    }
    // The user picks an item; the list must take input (it and its frame enabled).
    void PickSerial(int index) { Pick(Control::SerNo, index); }
    void PickMode(int index) { Pick(Control::Enc1, index); }
    // The user presses Command1.
    void PressCommand1() { driver_->Press(Control::Command1); }
    // The user closes the window.
    void Close() { driver_->Close(); }

    bool Started() const { return window_ != nullptr; }
    frmMain& Window() { return *window_; }
    const FormState& State() const { return window_->State(); }
    WindowDriver& User() { return *driver_; }

    // What the window shows of one of its two lists.
    std::vector<std::string> Items(const DropDownList& list) const {
        return driver_->Items(IdOf(list));
    }
    bool TakesInput(const DropDownList& list) const { return driver_->TakesInput(IdOf(list)); }

    Host host;

private:
    Control IdOf(const DropDownList& list) const {
        return &list == &window_->SerNo ? Control::SerNo : Control::Enc1;
    }
    void Pick(Control list, int index) {
        ASSERT_TRUE(driver_->TakesInput(list)) << "the list takes no input";
        ASSERT_GE(index, 0);
        ASSERT_LT(index, static_cast<int>(driver_->Items(list).size()));
        driver_->Pick(list, index);
    }

    std::unique_ptr<frmMain> window_;
    std::unique_ptr<WindowDriver> driver_;
};

} // namespace merovane::test
