// A divider whose firmware hangs (it enumerates, but answers no feature
// request and sends no input reports) beside a good one, on the real kernel:
// the window and merovane-ctl stay responsive, the user drives the good one.
//
// The kernel waits 5 s for a feature answer and, meanwhile, holds every open
// and close of a hidraw node; the host waits 1 s. The times asserted here
// tell those two apart with room to spare for the guest's slow CPU.
#include "support/guest_ctl.h"
#include "support/guest_window.h"

#include <chrono>
#include <functional>
#include <thread>

namespace merovane::guest {
namespace {

using Seconds = std::chrono::duration<double>;
using Strings = std::vector<std::string>;

// Longer than the host's bound with the guest's slowness, well short of the
// kernel's 5 s.
constexpr Seconds Prompt{2.5};

Seconds TimeOf(const std::function<void()>& action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::steady_clock::now() - start;
}

class WindowBesideAStuckDivider : public GuestWindowScenario {
protected:
    void SetUp() override { MEROVANE_NEEDS_DEVICES(); }

    // Ticks as the timer would, each one prompt, until `done` or 40 ticks.
    void TickUntil(const std::function<bool()>& done) {
        for (int tick = 0; tick < 40 && !done(); ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(Window().Timer.Interval()));
            EXPECT_LT(TimeOf([&] { Tick(); }), Prompt) << "tick " << tick;
        }
    }
};

TEST_F(WindowBesideAStuckDivider, TheUserTriesItThenDrivesTheGoodOneAndNoTickWaitsLong) {
    GuestDevice stuck(StuckDivider("MV-STUCK"));
    GuestDevice good(Divider("MV-GOOD", 1));
    Start();
    ASSERT_EQ(State().PathName, good.Node()); // listed last
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");

    // The user picks the stuck one: its mode read gives up after the host's
    // bound, and the mode list stays disabled.
    EXPECT_LT(TimeOf([&] { PickSerial(0); }), Prompt);
    EXPECT_EQ(State().PathName, stuck.Node());
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_EQ(stuck.IgnoredFeatureRequests(), 1);

    // It sends nothing, so a tick drops it and the rescans come back to the
    // good one, listed last, once the kernel has let go of the request.
    TickUntil([&] { return Window().Enc1.Text() == "Divide By 2"; });
    ASSERT_EQ(State().PathName, good.Node());

    // The user picks the good one by its serial and drives it.
    ASSERT_EQ(Items(Window().SerNo), (Strings{"MV-STUCK", "MV-GOOD"}));
    PickSerial(1);
    PickMode(3);
    EXPECT_EQ(good.FeatureWrites(), (std::vector<Bytes>{{0, 1, 3}}));
    TickUntil([&] { return Window().Timer.Interval() == 500; });
    EXPECT_EQ(State().PathName, good.Node());

    // The stuck one was asked once in all, and closing does not wait.
    EXPECT_EQ(stuck.IgnoredFeatureRequests(), 1);
    EXPECT_LT(TimeOf([&] { Close(); }), Prompt);
}

TEST_F(WindowBesideAStuckDivider, ClosingWhileItsRequestIsStillInTheKernelIsPrompt) {
    GuestDevice stuck(StuckDivider("MV-STUCK"));
    Start();
    ASSERT_EQ(stuck.IgnoredFeatureRequests(), 1);
    // The kernel holds the request for about 4 s more; the close puts off
    // closing the node instead of waiting.
    EXPECT_LT(TimeOf([&] { Close(); }), Prompt);
    EXPECT_TRUE(OpenHidrawNodes().empty() || OpenHidrawNodes() == Connection(stuck.Node()));
}

TEST(HidapiHostBesideAStuckDivider, GivesUpAtItsBoundLeavesItAloneAndUsesItOncePluggedBack) {
    MEROVANE_NEEDS_DEVICES();
    GuestDevice divider(StuckDivider("MV-STUCK"));
    HidapiHost host;
    const auto open = [&] {
        return host.CreateFileA(divider.Node().c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                NO_HANDLE);
    };
    const HANDLE first = open();
    ASSERT_NE(first, INVALID_HANDLE_VALUE) << host.LastError();
    Bytes report = {0, 0xEE, 0xEE};
    EXPECT_LT(TimeOf([&] { EXPECT_EQ(host.HidD_GetFeature(first, report.data(), 3), 0); }), Prompt);
    EXPECT_EQ(host.GetLastError(), ERROR_SEM_TIMEOUT);
    EXPECT_EQ(report, (Bytes{0, 0xEE, 0xEE})); // a late answer could not land here
    // While the kernel holds the request, an open is refused at once.
    EXPECT_EQ(open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.GetLastError(), ERROR_SEM_TIMEOUT);
    EXPECT_NE(host.CloseHandle(first), 0);

    // Its firmware recovers, but the node is left alone: no request reaches it.
    divider.AnswerAgain();
    std::this_thread::sleep_for(std::chrono::seconds(5)); // the kernel has let go
    const HANDLE second = open();
    ASSERT_NE(second, INVALID_HANDLE_VALUE) << host.LastError();
    EXPECT_EQ(host.HidD_SetFeature(second, Bytes{0, 1, 2}.data(), 3), 0);
    EXPECT_EQ(host.GetLastError(), ERROR_SEM_TIMEOUT);
    EXPECT_EQ(divider.IgnoredFeatureRequests(), 1);
    EXPECT_TRUE(divider.FeatureWrites().empty());
    host.CloseHandle(second);

    // Plugged back, it is a new node and is used as any other.
    divider.Unplug();
    divider.PlugBack();
    const HANDLE third = open();
    ASSERT_NE(third, INVALID_HANDLE_VALUE) << host.LastError();
    EXPECT_NE(host.HidD_SetFeature(third, Bytes{0, 1, 2}.data(), 3), 0) << host.LastError();
    EXPECT_NE(host.HidD_GetFeature(third, report.data(), 3), 0) << host.LastError();
    EXPECT_EQ(report, (Bytes{0, 2, 0}));
    host.CloseHandle(third);
    EXPECT_TRUE(OpenHidrawNodes().empty());
}

// The row of `list`'s table that begins with `serial`.
std::string RowOf(const CtlOutcome& list, const std::string& serial) {
    for (const std::string& line : list.OutLines())
        if (line.rfind(serial + " ", 0) == 0)
            return line;
    return "";
}

class CtlBesideAStuckDivider : public ::testing::Test {
protected:
    void SetUp() override { MEROVANE_NEEDS_DEVICES(); }
};

TEST_F(CtlBesideAStuckDivider, ListSaysItDoesNotAnswerAndCommandsOnItExitFourPromptly) {
    GuestDevice good(Divider("MV-GOOD", 1));
    GuestDevice stuck(StuckDivider("MV-STUCK"));

    CtlOutcome list;
    EXPECT_LT(TimeOf([&] { list = RunCtlProgram({"list"}); }), Prompt);
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(RowOf(list, "MV-STUCK").find(" not answering "), std::string::npos) << list.out;
    EXPECT_NE(RowOf(list, "MV-GOOD").find(" Divide By 2 "), std::string::npos) << list.out;

    const CtlOutcome json = RunCtlProgram({"list", "--json"});
    EXPECT_NE(json.out.find(R"("serial": "MV-STUCK", "manufacturer": "", )"
                            R"("product": "Merovane test divider", "version": "0.0", )"
                            R"("mode": null, "mode_code": null, "answering": false)"),
              std::string::npos)
        << json.out;

    for (const Strings& command :
         {Strings{"get", "--serial", "MV-STUCK"}, Strings{"set", "--serial", "MV-STUCK", "div4"},
          Strings{"aux", "--serial", "MV-STUCK"}}) {
        CtlOutcome outcome;
        EXPECT_LT(TimeOf([&] { outcome = RunCtlProgram(command); }), Prompt) << command[0];
        EXPECT_EQ(outcome.status, 4) << command[0];
        EXPECT_NE(outcome.err.find("'MV-STUCK' (" + stuck.Node() + "): the divider did not answer"),
                  std::string::npos)
            << outcome.err;
    }
    // Each run asked it once and nothing more; the good one is untouched.
    EXPECT_EQ(stuck.IgnoredFeatureRequests(), 5);
    EXPECT_EQ(RunCtlProgram({"get", "--serial", "MV-GOOD"}).out, "Divide By 2\n");
    EXPECT_TRUE(good.FeatureWrites().empty());
}

} // namespace
} // namespace merovane::guest
