#include "support/guest_window.h"

namespace merovane::guest {

GuestWindowScenario::~GuestWindowScenario() = default;

void GuestWindowScenario::Start() {
    window_ = std::make_unique<frmMain>(host);
    window_->Load();
}

void GuestWindowScenario::Tick() {
    ASSERT_TRUE(window_->Timer.Enabled()) << "the timer does not run";
    window_->Timer_Timer();
}

void GuestWindowScenario::Pick(DropDownList& list, int index) {
    ASSERT_TRUE(TakesInput(list)) << "the list takes no input";
    ASSERT_GE(index, 0);
    ASSERT_LT(index, list.ListCount());
    // What the combo box does for a pick with the mouse or the keyboard.
    QComboBox* box = list.Widget();
    box->setCurrentIndex(index);
    emit box->activated(index);
}

void GuestWindowScenario::PickSerial(int index) {
    Pick(window_->SerNo, index);
}

void GuestWindowScenario::PickMode(int index) {
    Pick(window_->Enc1, index);
}

void GuestWindowScenario::PressCommand1() {
    window_->Command1->click();
}

void GuestWindowScenario::Close() {
    window_->close();
}

std::vector<std::string> GuestWindowScenario::Items(const DropDownList& list) {
    std::vector<std::string> items;
    for (int i = 0; i < list.ListCount(); ++i)
        items.push_back(list.Widget()->itemText(i).toLatin1().toStdString());
    return items;
}

bool GuestWindowScenario::TakesInput(const DropDownList& list) {
    return list.Widget()->isEnabled();
}

std::multiset<std::string> GuestWindowScenario::Connection(const std::string& node) {
    return {node, node};
}

} // namespace merovane::guest
