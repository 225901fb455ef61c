#include "support/window_scenario.h"

namespace merovane::test {

WindowScenario::~WindowScenario() = default;

void WindowScenario::TearDown() {
    if (window_)
        ExpectHostClean();
}

void WindowScenario::Start() {
    window_ = std::make_unique<frmMain>(host);
    window_->Load();
}

void WindowScenario::Tick() {
    ASSERT_TRUE(window_->Timer.Enabled()) << "the timer does not run";
    window_->Timer_Timer();
}

void WindowScenario::Pick(DropDownList& list, int index) {
    ASSERT_TRUE(TakesInput(list)) << "the list takes no input";
    ASSERT_GE(index, 0);
    ASSERT_LT(index, list.ListCount());
    // What the combo box does for a pick with the mouse or the keyboard.
    QComboBox* box = list.Widget();
    box->setCurrentIndex(index);
    emit box->activated(index);
}

void WindowScenario::PickSerial(int index) {
    Pick(window_->SerNo, index);
}

void WindowScenario::PickMode(int index) {
    Pick(window_->Enc1, index);
}

void WindowScenario::Close() {
    window_->close();
}

std::vector<std::string> WindowScenario::Items(const DropDownList& list) {
    std::vector<std::string> items;
    for (int i = 0; i < list.ListCount(); ++i)
        items.push_back(list.Widget()->itemText(i).toLatin1().toStdString());
    return items;
}

bool WindowScenario::TakesInput(const DropDownList& list) {
    return list.Widget()->isEnabled();
}

std::vector<std::vector<BYTE>> WindowScenario::WrittenReports() const {
    std::vector<std::vector<BYTE>> reports;
    for (const FeatureWrite& write : host.Ledger().featureWrites)
        reports.push_back(write.bytes);
    return reports;
}

std::multiset<std::string> WindowScenario::OpenPaths() const {
    std::multiset<std::string> paths;
    for (const auto& [handle, record] : host.Ledger().openNow)
        paths.insert(record.path);
    return paths;
}

void WindowScenario::ExpectHostClean() const {
    const HostLedger& ledger = host.Ledger();
    EXPECT_TRUE(ledger.violations.empty()) << ledger.violations.front();
    EXPECT_EQ(ledger.setsOpen, 0);
    EXPECT_EQ(ledger.preparsedOpen, 0);
    std::set<HANDLE> expected;
    if (window_ && window_->State().DeviceFound && window_->isVisible()) {
        expected.insert(State().FeatureHandle);
        if (State().InputHandle != INVALID_HANDLE_VALUE)
            expected.insert(State().InputHandle);
    }
    std::set<HANDLE> open;
    for (const auto& [handle, record] : ledger.openNow)
        open.insert(handle);
    EXPECT_EQ(open, expected);
}

} // namespace merovane::test
