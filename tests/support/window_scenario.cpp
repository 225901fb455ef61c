#include "support/window_scenario.h"

namespace merovane::test {

void WindowScenario::TearDown() {
    if (Started())
        ExpectHostClean();
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

void WindowScenario::ExpectHostClean() {
    const HostLedger& ledger = host.Ledger();
    EXPECT_TRUE(ledger.violations.empty()) << ledger.violations.front();
    EXPECT_EQ(ledger.setsOpen, 0);
    EXPECT_EQ(ledger.preparsedOpen, 0);
    std::set<HANDLE> expected;
    if (Started() && State().DeviceFound && Window().View().Visible()) {
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
