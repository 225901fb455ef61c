// A divider whose firmware hangs (it enumerates, but answers no feature
// request and sends no input reports) beside a good one, on the real kernel:
// the window and merovane-ctl stay responsive, the user drives the good one,
// and the good one is never taken for the stuck one, whichever is plugged
// first.
//
// The kernel waits 5 s for a feature answer and, meanwhile, holds every open
// and close of a hidraw node; the host waits 1 s. On uhid the host's giving up
// ends the request; on the USB bus (usbhid) nothing can, and the request stays
// until the kernel's own timeout. The times asserted here tell the bound from
// the kernel's 5 s with room to spare for the guest's slow CPU.
#include "support/guest_ctl.h"
#include "support/guest_window.h"

#include <chrono>
#include <functional>
#include <set>
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

TEST_F(WindowBesideAStuckDivider, SelectedAtTheStartTheUserLeavesItWithTheKeyboard) {
    GuestDevice good(Divider("MV-GOOD", 1));
    GuestDevice stuck(StuckDivider("MV-STUCK"));
    Start();
    ASSERT_EQ(State().PathName, stuck.Node()); // listed last
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_EQ(stuck.IgnoredFeatureRequests(), 1);

    // Up in the serial list picks the good one: it is opened and its mode
    // read at once.
    User().Focus(Control::SerNo);
    EXPECT_LT(TimeOf([&] { User().Type(test::WindowDriver::Key::Up); }), Prompt);
    EXPECT_EQ(State().PathName, good.Node());
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 2");
    PickMode(3);
    EXPECT_EQ(good.FeatureWrites(), (std::vector<Bytes>{{0, 1, 3}}));
    TickUntil([&] { return Window().Timer.Interval() == 500; });
    EXPECT_EQ(State().PathName, good.Node());

    // The stuck one was asked once in all, and closing does not wait.
    EXPECT_EQ(stuck.IgnoredFeatureRequests(), 1);
    EXPECT_LT(TimeOf([&] { Close(); }), Prompt);
}

TEST(WindowProgramBesideAStuckUsbDivider, EndsPromptlyOnItsCloseRequest) {
    MEROVANE_NEEDS_DEVICES();
    GuestDevice stuck(StuckUsbDivider("MV-USBSTUCK"));
    CtlSettings asWindow;
    asWindow.window = true;
    RunningCtl window({}, asWindow);
    // The window asked for its mode; past the host's bound the request is
    // left to the kernel, which holds it about 4 s more.
    const auto asked = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (stuck.IgnoredFeatureRequests() == 0 && std::chrono::steady_clock::now() < asked)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(stuck.IgnoredFeatureRequests(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));

    window.Interrupt();
    CtlOutcome ended;
    EXPECT_LT(TimeOf([&] { ended = window.Finish(); }),
              Prompt); // the process gone, its output closed
    EXPECT_EQ(ended.status, 0) << ended.err;
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
    EXPECT_NE(host.CloseHandle(first), 0);

    // Its firmware recovers, but the node is left alone: no request reaches it.
    // uhid's wait ended with the host's giving up, so nothing holds the open.
    divider.AnswerAgain();
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

TEST(HidapiHostBesideAStuckUsbDivider, AHandleMadeBeforeItsRequestIsServedAndANewOpenIsBusy) {
    MEROVANE_NEEDS_DEVICES();
    GuestDevice good(Divider("MV-GOOD", 1));
    GuestDevice stuck(StuckUsbDivider("MV-USBSTUCK"));
    HidapiHost host;
    const auto open = [&](const GuestDevice& device) {
        return host.CreateFileA(device.Node().c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                NO_HANDLE);
    };
    const HANDLE onGood = open(good);
    const HANDLE onStuck = open(stuck);
    ASSERT_NE(onGood, INVALID_HANDLE_VALUE) << host.LastError();
    ASSERT_NE(onStuck, INVALID_HANDLE_VALUE) << host.LastError();
    Bytes report = {0, 0xEE, 0xEE};
    EXPECT_LT(TimeOf([&] { EXPECT_EQ(host.HidD_GetFeature(onStuck, report.data(), 3), 0); }),
              Prompt);
    EXPECT_EQ(host.GetLastError(), ERROR_SEM_TIMEOUT);

    // The kernel still holds the request: the good one's handle, made before
    // it, is served; a new open would wait, so it is refused as busy.
    EXPECT_NE(host.HidD_GetFeature(onGood, report.data(), 3), 0) << host.LastError();
    EXPECT_EQ(report, (Bytes{0, 1, 0}));
    EXPECT_EQ(open(good), INVALID_HANDLE_VALUE);
    EXPECT_EQ(host.GetLastError(), ERROR_BUSY);
    EXPECT_LT(TimeOf([&] {
                  host.CloseHandle(onGood);
                  host.CloseHandle(onStuck);
              }),
              Prompt);

    std::this_thread::sleep_for(std::chrono::seconds(5)); // the kernel has given it up
    const HANDLE again = open(good);
    ASSERT_NE(again, INVALID_HANDLE_VALUE) << host.LastError();
    EXPECT_NE(host.HidD_GetFeature(again, report.data(), 3), 0) << host.LastError();
    host.CloseHandle(again);
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

// Plugs a good divider and a stuck one, in the order given.
struct PluggedPair {
    PluggedPair(const DeviceSetup& stuckSetup, bool stuckFirst)
        : first(stuckFirst ? stuckSetup : Divider("MV-GOOD", 1)),
          second(stuckFirst ? Divider("MV-GOOD", 1) : stuckSetup),
          good(stuckFirst ? second : first), stuck(stuckFirst ? first : second) {}
    GuestDevice first;
    GuestDevice second;
    GuestDevice& good;
    GuestDevice& stuck;
};

TEST_F(CtlBesideAStuckDivider, TheGoodOneAnswersInListAndWatchWhicheverIsPluggedFirst) {
    for (const DeviceSetup& stuckSetup : {StuckDivider("MV-STUCK"), StuckUsbDivider("MV-STUCK")}) {
        for (const bool stuckFirst : {true, false}) {
            SCOPED_TRACE(std::string(stuckSetup.onUsbBus ? "usb" : "uhid") +
                         (stuckFirst ? ", stuck first" : ", stuck last"));
            PluggedPair plugged(stuckSetup, stuckFirst);
            CtlOutcome list;
            EXPECT_LT(TimeOf([&] { list = RunCtlProgram({"list", "--json"}); }), Prompt);
            EXPECT_NE(list.out.find(R"("mode": "Divide By 2", "mode_code": 1, "answering": true)"),
                      std::string::npos)
                << list.out;
            EXPECT_NE(list.out.find(R"("mode": null, "mode_code": null, "answering": false)"),
                      std::string::npos)
                << list.out;

            // Each look after the first finds the stuck one left alone, and,
            // on the USB bus, every open held up for seconds: no line says so.
            RunningCtl watch({"watch"});
            EXPECT_TRUE(watch.AwaitOutputLine("attached MV-GOOD (" + plugged.good.Node() +
                                              "): Divide By 2"));
            // Past the kernel's hold on the USB bus; a few looks on uhid.
            std::this_thread::sleep_for(std::chrono::seconds(stuckSetup.onUsbBus ? 5 : 2));
            watch.Interrupt();
            const CtlOutcome watched = watch.Finish();
            const Strings printed = watched.OutLines();
            const std::multiset<std::string> lines(printed.begin(), printed.end());
            EXPECT_EQ(lines,
                      (std::multiset<std::string>{
                          "attached MV-GOOD (" + plugged.good.Node() + "): Divide By 2",
                          "attached MV-STUCK (" + plugged.stuck.Node() + "): not answering"}))
                << watched.out;
        }
    }
}

TEST_F(CtlBesideAStuckDivider, OnTheUsbBusGetAndListEndPromptlyWithTheirOutput) {
    GuestDevice stuck(StuckUsbDivider("MV-USBSTUCK"));
    CtlOutcome get;
    EXPECT_LT(TimeOf([&] { get = RunCtlProgram({"get"}); }), Prompt); // the process and its pipes
    EXPECT_EQ(get.status, 4);
    EXPECT_NE(get.err.find("the divider did not answer the mode read"), std::string::npos)
        << get.err;
    // The kernel holds every open of a hidraw node, by any program, until it
    // gives the request up.
    std::this_thread::sleep_for(std::chrono::milliseconds(4500));
    CtlOutcome list;
    EXPECT_LT(TimeOf([&] { list = RunCtlProgram({"list"}); }), Prompt);
    EXPECT_NE(RowOf(list, "MV-USBSTUCK").find(" not answering "), std::string::npos) << list.out;
}

} // namespace
} // namespace merovane::guest
