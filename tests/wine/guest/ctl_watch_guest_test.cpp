// merovane-ctl watch on the Win32 host as the program makes it (a console
// program: no message loop, so the host takes Windows's notices itself at each
// look), run in this process so that its calls of SetupAPI and its opens are
// counted, among HID devices that are not dividers.
#include "cli/ctl_commands.h"
#include "device/win32/win32_host.h"
#include "system_calls.h"
#include "unix_device.h"

#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <thread>

namespace merovane::wine {
namespace {

TEST(CtlWatchOnRealDevices, LooksWithoutAskingWindowsWhileNothingChangesAndSeesAPlugAndAnUnplug) {
    if (!CanMakeDevices())
        GTEST_SKIP() << "needs /dev/uhid: run in the test guest (tests/wine/run-guest-tests)";
    UnixDevice first("OTHER-C1", {"--vendor", "0x1234", "--product", "0x0011"});
    UnixDevice second("OTHER-C2", {"--vendor", "0x1234", "--product", "0x0012"});
    for (int i = 0; i < 300 && ListedInterfaces("vid_1234&pid_001") != 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(ListedInterfaces("vid_1234&pid_001"), 2);

    Win32Host host(NoticeDelivery::WithoutMessageLoop);
    SystemCallCounter system;
    std::ostringstream out;
    std::ostringstream err;
    std::optional<UnixDevice> divider;
    SystemCallCount quiet;
    int looks = 0;
    // Between looks, as the program: a sleep, no messages taken. After the
    // first look, 20 looks (10 s) with nothing changing; then a divider is
    // plugged, and unplugged once watch said it was attached.
    const auto pause = [&] {
        ++looks;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (looks == 1)
            system.Reset();
        if (looks == 21) {
            quiet = system.Count();
            divider.emplace("MV-C1", std::vector<std::string>{"--mode", "1"});
        }
        const std::string said = out.str();
        if (divider && said.find("attached MV-C1") != std::string::npos) {
            divider->Unplug();
            divider.reset();
        }
        return said.find("removed ") == std::string::npos && looks < 200;
    };
    const auto watch = std::get<CtlInvocation>(ParseCtlArguments({"watch"}));
    EXPECT_EQ(merovane::RunCtl(watch, host, out, err, pause), CtlDone);

    EXPECT_EQ(quiet.walks, 0);
    EXPECT_EQ(quiet.opens, 0);
    // Its removal names its path (and its serial, unless the look just
    // before found it going).
    const std::string said = out.str();
    EXPECT_NE(said.find("attached MV-C1 ("), std::string::npos) << said;
    const std::size_t removed = said.find("removed ");
    ASSERT_NE(removed, std::string::npos) << said;
    EXPECT_NE(said.find("#0&mv-c1&", removed), std::string::npos) << said;
    EXPECT_EQ(err.str(), "");
}

} // namespace
} // namespace merovane::wine
