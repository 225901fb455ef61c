// merovane-ctl end to end on the simulated host: the devices present, the
// command line typed, what it prints, its exit status, what the devices got.
#include "cli/ctl_commands.h"
#include "device/simulated/simulated_host.h"
#include "support/test_devices.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace merovane::test {
namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    bool hostMade = false;
};

class Ctl : public ::testing::Test {
protected:
    // Runs the command line on `host`; watch looks `looks` times, running
    // `between` after each look but the last.
    Outcome Run(const std::vector<std::string>& args, int looks = 1,
                const std::function<void(int)>& between = {}) {
        Outcome outcome;
        std::ostringstream out;
        std::ostringstream err;
        int look = 0;
        outcome.status = CtlMain(
            args,
            [&](bool) -> HidHost& {
                outcome.hostMade = true;
                return host;
            },
            out, err,
            [&] {
                if (++look >= looks)
                    return false;
                if (between)
                    between(look);
                return true;
            });
        outcome.out = out.str();
        outcome.err = err.str();
        return outcome;
    }
    std::vector<std::vector<BYTE>> Written() const {
        std::vector<std::vector<BYTE>> reports;
        for (const FeatureWrite& write : host.Ledger().featureWrites)
            reports.push_back(write.bytes);
        return reports;
    }
    void TearDown() override {
        EXPECT_TRUE(host.Ledger().openNow.empty()) << "a handle left open";
        EXPECT_EQ(host.Ledger().setsOpen, 0);
        EXPECT_TRUE(host.Ledger().violations.empty()) << host.Ledger().violations.front();
    }

    SimulatedHost host;
};

using Reports = std::vector<std::vector<BYTE>>;

TEST_F(Ctl, ListShowsEachDividerAsATableAndAsJson) {
    host.Plug(Keyboard());
    VirtualDevice first = Divider(u"MV-1", 1);
    first.version = 0x0A0F;
    first.manufacturer = u"Caf\u00E9 \u2603";
    host.Plug(first);
    host.Plug(Divider(u"MV-2", 7));

    const Outcome table = Run({"list"});
    EXPECT_EQ(table.status, 0);
    EXPECT_EQ(table.out, "SERIAL  MANUFACTURER  PRODUCT  VERSION  MODE         PATH\n"
                         "MV-1    Caf\u00E9 \u2603        Divider  10.F     Divide By 2  sim:2\n"
                         "MV-2    ACME          Divider  1.23     Divide By 8  sim:3\n");
    EXPECT_EQ(table.err, "");

    const Outcome json = Run({"list", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(
        json.out.find("{\"serial\": \"MV-1\", \"manufacturer\": \"Caf\u00E9 \u2603\", "
                      R"("product": "Divider", "version": "10.F", "mode": "Divide By 2", )"
                      R"("mode_code": 1, "answering": true, "path": "sim:2", "error": null})"),
        std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find(R"("mode": "Divide By 8", "mode_code": 3)"), std::string::npos);
    EXPECT_TRUE(host.Ledger().featureWrites.empty());
}

TEST_F(Ctl, JsonEscapesWhatADeviceSays) {
    VirtualDevice odd = Divider(u"Q\"1");
    odd.product = u"a\\b\tc\x01";
    odd.manufacturer = std::nullopt;
    host.Plug(odd);
    const Outcome json = Run({"list", "--json"});
    EXPECT_NE(
        json.out.find(R"("serial": "Q\"1", "manufacturer": null, "product": "a\\b\u0009c\u0001")"),
        std::string::npos)
        << json.out;
}

TEST_F(Ctl, WithNothingAttachedListSaysSoAndExitsOne) {
    host.Plug(Keyboard());
    const Outcome table = Run({"list"});
    EXPECT_EQ(table.status, 1);
    EXPECT_EQ(table.out, "");
    EXPECT_EQ(table.err, "merovane-ctl: no Merovane clock divider attached\n");
    const Outcome json = Run({"list", "--json"});
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.out, "[]\n");
}

TEST_F(Ctl, ADividerThisUserMayNotOpenIsListedWithTheUdevHint) {
    VirtualDevice locked = Divider(u"LOCKED");
    locked.openError = ERROR_ACCESS_DENIED;
    host.Plug(locked);
    VirtualDevice busy = Divider(u"BUSY");
    busy.openError = ERROR_SHARING_VIOLATION;
    host.Plug(busy);
    host.Plug(Divider(u"FREE", 2));

    const Outcome list = Run({"list"});
    EXPECT_EQ(list.status, 3);
    EXPECT_NE(list.out.find("sim:1  (cannot open: permission denied: install the udev rule"),
              std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find("sim:2  (cannot open: in use by another program)"), std::string::npos);
    EXPECT_NE(list.out.find("FREE"), std::string::npos);

    const Outcome json = Run({"list", "--json"});
    EXPECT_NE(json.out.find(R"("serial": null)"), std::string::npos);
    EXPECT_NE(json.out.find(R"("error": "permission denied: )"), std::string::npos);

    // A serial that may be behind the locked one: permission, not absence.
    const Outcome get = Run({"get", "--serial", "LOCKED"});
    EXPECT_EQ(get.status, 3);
    EXPECT_NE(get.err.find("permission denied"), std::string::npos);
    EXPECT_EQ(std::count(get.err.begin(), get.err.end(), '\n'), 1);
}

TEST_F(Ctl, ADividerThatRefusesReadAndWriteIsSetThroughAccess0) {
    VirtualDevice held = Divider(u"HELD", 0);
    held.grantsReadWrite = false; // another program holds it, on Windows
    const auto id = host.Plug(held);

    const Outcome set = Run({"set", "div4"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "HELD: Divide By 4\n");
    EXPECT_EQ(host.Device(id).mode, 2);
    EXPECT_EQ(host.Ledger().opens.back().access, 0u);
}

TEST_F(Ctl, TheOnlyDividerNeedsNoSerialAndSetReadsTheModeBack) {
    const auto id = host.Plug(Divider(u"ONE", 0));

    EXPECT_EQ(Run({"get"}).out, "Pass Through\n");
    for (const auto& [mode, code] : std::vector<std::pair<std::string, BYTE>>{
             {"Divide By 4", 2}, {"div8", 3}, {"pass", 0}, {"1", 1}, {"DIVIDE BY 2", 1}}) {
        const Outcome set = Run({"set", mode});
        EXPECT_EQ(set.status, 0) << mode << ": " << set.err;
        EXPECT_EQ(host.Device(id).mode, code) << mode;
    }
    EXPECT_EQ(Written(), (Reports{{0, 1, 2}, {0, 1, 3}, {0, 1, 0}, {0, 1, 1}, {0, 1, 1}}));
    EXPECT_EQ(Run({"set", "div4"}).out, "ONE: Divide By 4\n");
    EXPECT_EQ(Run({"get"}).out, "Divide By 4\n");
    // -- ends the options: what follows is the command or the mode, even with a dash.
    EXPECT_EQ(Run({"--", "get"}).out, "Divide By 4\n");
    EXPECT_EQ(Run({"set", "--", "-1"}).err,
              "merovane-ctl: unknown mode '-1' (see merovane-ctl --help)\n");
}

TEST_F(Ctl, TwoInterfacesOfOneDividerCountAsOneDevice) {
    VirtualDevice dual = Divider(u"DUAL", 1);
    dual.interfaces = {"dual/0", "dual/1"};
    host.Plug(dual);
    const Outcome get = Run({"get"});
    EXPECT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(get.out, "Divide By 2\n");
}

TEST_F(Ctl, SeveralDividersNeedASerialAndTheSerialChoosesOne) {
    host.Plug(Divider(u"A", 1));
    const auto b = host.Plug(Divider(u"B", 2));

    const Outcome ambiguous = Run({"set", "div8"});
    EXPECT_EQ(ambiguous.status, 2);
    EXPECT_EQ(ambiguous.err, "merovane-ctl: 2 dividers attached; choose one with --serial: "
                             "'A' (sim:1) 'B' (sim:2)\n");
    EXPECT_TRUE(host.Ledger().featureWrites.empty());

    EXPECT_EQ(Run({"set", "--serial", "B", "div8"}).status, 0);
    EXPECT_EQ(host.Device(b).mode, 3);
    EXPECT_EQ(Run({"get", "--serial=A"}).out, "Divide By 2\n");
    EXPECT_EQ(Run({"aux", "--serial", "B"}).status, 0);
    EXPECT_EQ(Written(), (Reports{{0, 1, 3}, {0, 2, 99}}));

    const Outcome missing = Run({"get", "--serial", "b"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "merovane-ctl: no divider with serial 'b' attached\n");
}

TEST_F(Ctl, ADividerThatFailsOrIgnoresTheTransferExitsFour) {
    const auto id = host.Plug(Divider(u"X", 1));

    host.Device(id).featureReadFails = true;
    const Outcome get = Run({"get"});
    EXPECT_EQ(get.status, 4);
    EXPECT_EQ(get.err, "merovane-ctl: 'X' (sim:1): the divider refused the mode read\n");
    host.Device(id).featureReadFails = false;

    host.Device(id).featureWriteFails = true;
    EXPECT_EQ(Run({"set", "div4"}).status, 4);
    EXPECT_EQ(Run({"aux"}).status, 4);
    host.Device(id).featureWriteFails = false;

    host.Device(id).keepsMode = true;
    const Outcome ignored = Run({"set", "div4"});
    EXPECT_EQ(ignored.status, 4);
    EXPECT_EQ(ignored.err, "merovane-ctl: 'X' (sim:1): the divider did not take the mode "
                           "Divide By 4; it reports Divide By 2\n");

    host.Device(id).featureReportLength = 2; // no room for a command
    EXPECT_EQ(Run({"aux"}).status, 4);
}

TEST_F(Ctl, ADividerThatDoesNotAnswerIsListedSoAndItsCommandsExitFour) {
    const auto stuck = host.Plug(Divider(u"STUCK", 1));
    host.Plug(Divider(u"GOOD", 2));
    host.Device(stuck).answersFeatures = false;

    const Outcome table = Run({"list"});
    EXPECT_EQ(table.status, 0);
    EXPECT_EQ(table.out, "SERIAL  MANUFACTURER  PRODUCT  VERSION  MODE           PATH\n"
                         "STUCK   ACME          Divider  1.23     not answering  sim:1\n"
                         "GOOD    ACME          Divider  1.23     Divide By 4    sim:2\n");
    const Outcome json = Run({"list", "--json"});
    EXPECT_NE(
        json.out.find(R"("mode": null, "mode_code": null, "answering": false, "path": "sim:1")"),
        std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find(R"("mode_code": 2, "answering": true, "path": "sim:2")"),
              std::string::npos);

    const Outcome get = Run({"get", "--serial", "STUCK"});
    EXPECT_EQ(get.status, 4);
    EXPECT_EQ(get.err, "merovane-ctl: 'STUCK' (sim:1): the divider did not answer the mode read\n");
    const Outcome set = Run({"set", "--serial", "STUCK", "div8"});
    EXPECT_EQ(set.status, 4);
    EXPECT_EQ(set.err,
              "merovane-ctl: 'STUCK' (sim:1): the divider did not answer the mode Divide By 8\n");
    const Outcome aux = Run({"aux", "--serial", "STUCK"});
    EXPECT_EQ(aux.status, 4);
    EXPECT_EQ(aux.err,
              "merovane-ctl: 'STUCK' (sim:1): the divider did not answer the auxiliary command\n");
    EXPECT_EQ(Run({"set", "--serial", "GOOD", "div8"}).out, "GOOD: Divide By 8\n");
}

TEST_F(Ctl, WatchReportsArrivalsDeparturesAndModeChanges) {
    host.Plug(Keyboard());
    const auto first = host.Plug(Divider(u"W1", 0));
    SimulatedHost::DeviceId second = 0;
    const Outcome watch = Run({"watch"}, 6, [&](int look) {
        if (look == 1)
            second = host.Plug(Divider(u"W2", 3));
        if (look == 2)
            host.Device(first).mode = 2;
        if (look == 3)
            host.Unplug(second);
        // Another divider's unanswered request holds every open for a look:
        // W1 was not asked, and W3 waits for a look that can ask it.
        if (look == 4) {
            host.HoldOpens(true);
            host.Plug(Divider(u"W3", 1));
        }
        if (look == 5)
            host.HoldOpens(false);
    });
    EXPECT_EQ(watch.status, 0);
    EXPECT_EQ(watch.out, "attached W1 (sim:2): Pass Through\n"
                         "attached W2 (sim:3): Divide By 8\n"
                         "mode W1 (sim:2): Pass Through -> Divide By 4\n"
                         "removed W2 (sim:3)\n"
                         "attached W3 (sim:4): Divide By 2\n");
    EXPECT_TRUE(host.Ledger().featureWrites.empty());
}

TEST_F(Ctl, ControlCharactersFromADeviceOrTheUserReachTheTerminalEscaped) {
    const std::u16string hostile = u"MV\x1b[31mX";
    const std::string shown = "MV\\x1b[31mX";
    VirtualDevice odd = Divider(hostile, 1);
    odd.manufacturer = u"\u009b2J\u0007";
    odd.product = u"a\\b\x7f";
    host.Plug(odd);

    const Outcome table = Run({"list"});
    EXPECT_NE(table.out.find(shown + "  \\u009b2J\\x07  a\\\\b\\x7f  1.23  "), std::string::npos)
        << table.out;
    const Outcome watch = Run({"watch"});
    EXPECT_EQ(watch.out, "attached " + shown + " (sim:1): Divide By 2\n");
    const Outcome set = Run({"set", "--serial", "MV\x1b[31mX", "div4"});
    EXPECT_EQ(set.out, shown + ": Divide By 4\n");

    host.Plug(Divider(u"B"));
    EXPECT_EQ(Run({"get"}).err, "merovane-ctl: 2 dividers attached; choose one with --serial: '" +
                                    shown + "' (sim:1) 'B' (sim:2)\n");
    // Typed text is cut after 128 characters; each byte that is not UTF-8 shows as an escape.
    const Outcome flood = Run({"get", "--serial", "\x1b]0;T\x07" + std::string(100000, 'x')});
    EXPECT_EQ(flood.err, "merovane-ctl: no divider with serial '\\x1b]0;T\\x07" +
                             std::string(122, 'x') + "'\u2026 attached\n");
    EXPECT_EQ(Run({"set", "\xC0\xAF\xED\xA0\x80\x9b\xC3\xA9"}).err,
              "merovane-ctl: unknown mode '\\xc0\\xaf\\xed\\xa0\\x80\\x9b\xC3\xA9' (see "
              "merovane-ctl --help)\n");
}

TEST_F(Ctl, BadInputIsAUsageErrorInOneLineAndTouchesNoDevice) {
    host.Plug(Divider(u"A"));
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"set"},
        {"set", "div9"},
        {"set", "Divide By 16"},
        {"set", "4"},
        {"set", "div2", "div4"},
        {"get", "--serial", "A", "--serial", "A"},
        {"list", "--json", "--json"},
        {"--simulate", "list", "--simulate"},
        {"-h", "--help"},
        {"get", "--serial", ""},
        {"get", "--serial="},
        {"get", "--serial"},
        {"get", "--verbose"},
        {"list", "-x"},
        {"get", "extra"},
        {"get", "--json"},
        {"list", "--serial", "A"},
    };
    for (const auto& args : bad) {
        const Outcome outcome = Run(args);
        std::string typed;
        for (const auto& arg : args)
            typed += arg + " ";
        EXPECT_EQ(outcome.status, 2) << typed;
        EXPECT_FALSE(outcome.hostMade) << typed;
        EXPECT_TRUE(outcome.err.starts_with("merovane-ctl: ")) << typed;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << typed;
        EXPECT_EQ(outcome.out, "") << typed;
    }
    EXPECT_EQ(host.Ledger().totalCalls, 0u);
}

TEST_F(Ctl, HelpAndVersionNeedNoDevice) {
    const Outcome help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: merovane-ctl"));
    EXPECT_FALSE(help.hostMade);
    const Outcome version = Run({"-V"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "merovane-ctl " MEROVANE_VERSION "\n");
}

// The installed program itself, on the demo's virtual devices.
TEST(CtlProgram, RunsOnTheDemoDevicesAndFailsBadInputWithStatusTwo) {
    QProcess ctl;
    ctl.start(MEROVANE_CTL, {"--simulate", "list"});
    ASSERT_TRUE(ctl.waitForFinished(30000));
    EXPECT_EQ(ctl.exitCode(), 0);
    const QString listed = QString::fromUtf8(ctl.readAllStandardOutput());
    EXPECT_TRUE(listed.contains("MV2B-00417")) << listed.toStdString();
    EXPECT_TRUE(listed.contains("MV2B-00988"));

    ctl.start(MEROVANE_CTL, {"--simulate", "set", "--serial", "MV2B-00988", "div8"});
    ASSERT_TRUE(ctl.waitForFinished(30000));
    EXPECT_EQ(ctl.exitCode(), 0);

    ctl.start(MEROVANE_CTL, {"set", "sideways"});
    ASSERT_TRUE(ctl.waitForFinished(30000));
    EXPECT_EQ(ctl.exitCode(), 2);
    EXPECT_EQ(QString::fromUtf8(ctl.readAllStandardError()),
              "merovane-ctl: unknown mode 'sideways' (see merovane-ctl --help)\n");
}

// Output that cannot be written is a failure, told on stderr; watch finds it
// at its first look instead of watching on for nobody.
TEST(CtlProgram, OutputThatCannotBeWrittenExitsFive) {
    QProcess ctl;
    ctl.setStandardOutputFile("/dev/full");
    for (const QStringList& args :
         {QStringList{"--simulate", "list"}, QStringList{"--simulate", "list", "--json"},
          QStringList{"--simulate", "watch"}, QStringList{"--help"}}) {
        ctl.start(MEROVANE_CTL, args);
        ASSERT_TRUE(ctl.waitForFinished(30000)) << args.join(' ').toStdString();
        EXPECT_EQ(ctl.exitCode(), 5) << args.join(' ').toStdString();
        EXPECT_EQ(QString::fromUtf8(ctl.readAllStandardError()),
                  "merovane-ctl: cannot write the output: No space left on device\n");
    }

    QProcess closed;
    closed.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
    closed.start(MEROVANE_CTL, {"--simulate", "list"});
    ASSERT_TRUE(closed.waitForFinished(30000));
    EXPECT_EQ(closed.exitCode(), 5);
    EXPECT_EQ(QString::fromUtf8(closed.readAllStandardError()),
              "merovane-ctl: cannot write the output: Bad file descriptor\n");
}

} // namespace
} // namespace merovane::test
