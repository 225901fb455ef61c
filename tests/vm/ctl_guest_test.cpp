// merovane-ctl, the built program itself, on real hidraw devices: what a user
// types, what it prints, its exit status, and what reached the devices.
//
// The devices are made through uhid: without a USB parent device hidapi reads
// their manufacturer as "" and their release number as 0, so the program
// lists an empty manufacturer and version "0.0" here.
#include "support/guest_ctl.h"
#include "support/guest_window.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace merovane::guest {
namespace {

using Strings = std::vector<std::string>;
using Reports = std::vector<Bytes>;

const std::string UdevRule = "60-merovane-config.rules";
// "Größe-Ω": two characters of Latin-1 and one beyond it, in UTF-8.
const std::string WideSerial = "Gr\xC3\xB6\xC3\x9F"
                               "e-\xCE\xA9";

void SetNodeAccess(const std::string& node, uid_t owner, gid_t group, mode_t mode) {
    ASSERT_EQ(::chown(node.c_str(), owner, group), 0) << node;
    ASSERT_EQ(::chmod(node.c_str(), mode), 0) << node;
}

// The listed row that begins with `serial`; empty when there is none or more than one.
std::string RowOf(const CtlOutcome& list, const std::string& serial) {
    std::string found;
    int count = 0;
    for (const std::string& line : list.OutLines())
        if (line.rfind(serial + " ", 0) == 0) {
            found = line;
            ++count;
        }
    return count == 1 ? found : "";
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

Strings Words(const std::string& line) {
    Strings words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// Characters (not bytes) of UTF-8 text before `part`.
std::size_t ColumnOf(const std::string& text, const std::string& part) {
    const std::size_t at = text.find(part);
    std::size_t column = 0;
    for (std::size_t i = 0; i < at && i < text.size(); ++i)
        column += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    return column;
}

// `list --json` output as parsed by a JSON reader; fails the test when it is not
// a JSON array.
QJsonArray JsonList(const CtlOutcome& list) {
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(list.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " in:\n"
        << list.out;
    EXPECT_TRUE(document.isArray()) << list.out;
    return document.array();
}

// The listed entry with that path; an empty object when there is none.
QJsonObject JsonEntryAt(const QJsonArray& list, const std::string& path) {
    for (const QJsonValue& entry : list)
        if (entry.toObject().value("path").toString().toStdString() == path)
            return entry.toObject();
    return {};
}

std::string Text(const QJsonValue& value) {
    return value.toString().toStdString();
}

class CtlOnRealDevices : public ::testing::Test {
protected:
    void SetUp() override { MEROVANE_NEEDS_DEVICES(); }
};

TEST_F(CtlOnRealDevices, ListShowsBothDividersWithVersionModeAndNodeAndLeavesTheKeyboardOut) {
    GuestDevice first(Divider("MV-CTL-A", 1));
    GuestDevice keyboard(Keyboard());
    GuestDevice second(Divider("MV-CTL-B", 3));

    const CtlOutcome table = RunCtlProgram({"list"});

    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.err, "");
    const Strings lines = table.OutLines();
    ASSERT_EQ(lines.size(), 3u) << table.out; // the header and the two dividers
    EXPECT_EQ(Words(lines[0]),
              (Strings{"SERIAL", "MANUFACTURER", "PRODUCT", "VERSION", "MODE", "PATH"}));
    for (const auto& [device, mode] :
         {std::pair{&first, "Divide By 2"}, std::pair{&second, "Divide By 8"}}) {
        const std::string row = RowOf(table, device->Setup().serial);
        SCOPED_TRACE(row);
        EXPECT_TRUE(EndsWith(row, "  " + device->Node())) << table.out;
        EXPECT_TRUE(Contains(row, "  Merovane test divider  "));
        EXPECT_TRUE(Contains(row, "  0.0  ")); // no USB parent: release number 0
        EXPECT_TRUE(Contains(row, std::string("  ") + mode + "  "));
        // The columns line up under their headings.
        EXPECT_EQ(ColumnOf(row, "Merovane test divider"), ColumnOf(lines[0], "PRODUCT"));
        EXPECT_EQ(ColumnOf(row, mode), ColumnOf(lines[0], "MODE"));
        EXPECT_EQ(ColumnOf(row, device->Node()), ColumnOf(lines[0], "PATH"));
    }
    EXPECT_FALSE(Contains(table.out, keyboard.Node() + "\n")) << table.out;

    const CtlOutcome json = RunCtlProgram({"list", "--json"});

    EXPECT_EQ(json.status, 0) << json.err;
    const QJsonArray listed = JsonList(json);
    EXPECT_EQ(listed.size(), 2) << json.out;
    for (const auto& [device, mode, code] :
         {std::tuple{&first, "Divide By 2", 1}, std::tuple{&second, "Divide By 8", 3}}) {
        const QJsonObject entry = JsonEntryAt(listed, device->Node());
        SCOPED_TRACE(device->Node());
        ASSERT_FALSE(entry.isEmpty()) << json.out;
        EXPECT_EQ(Text(entry.value("serial")), device->Setup().serial);
        EXPECT_EQ(Text(entry.value("product")), "Merovane test divider");
        EXPECT_TRUE(entry.value("manufacturer").isString()); // there, and empty
        EXPECT_EQ(Text(entry.value("manufacturer")), "");
        EXPECT_EQ(Text(entry.value("version")), "0.0");
        EXPECT_EQ(Text(entry.value("mode")), mode);
        EXPECT_EQ(entry.value("mode_code").toInt(-1), code);
        EXPECT_TRUE(entry.value("error").isNull());
    }
    EXPECT_TRUE(JsonEntryAt(listed, keyboard.Node()).isEmpty());
    // Listing only looks.
    EXPECT_TRUE(first.FeatureWrites().empty());
    EXPECT_TRUE(second.FeatureWrites().empty());
}

TEST_F(CtlOnRealDevices, SetWritesExactlyItsReportAndGetReadsTheNewModeBackFromTheDevice) {
    DeviceSetup longReports = Divider("MV-CTL-SET", 0);
    longReports.featureLength = 9;
    GuestDevice device(longReports);
    GuestDevice other(Divider("MV-CTL-OTHER", 1));

    const CtlOutcome set = RunCtlProgram({"set", "--serial", "MV-CTL-SET", "div4"});

    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "MV-CTL-SET: Divide By 4\n");
    EXPECT_EQ(set.err, "");
    // The report ID, the command, the mode, then zeros to the device's feature length.
    EXPECT_EQ(device.FeatureWrites(), (Reports{{0, 1, 2, 0, 0, 0, 0, 0, 0}}));
    EXPECT_TRUE(other.FeatureWrites().empty());

    const int readsBefore = device.FeatureReads();
    const CtlOutcome get = RunCtlProgram({"get", "--serial", "MV-CTL-SET"});

    EXPECT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(get.out, "Divide By 4\n");
    EXPECT_GT(device.FeatureReads(), readsBefore); // the device itself answered
    EXPECT_EQ(RunCtlProgram({"get", "--serial", "MV-CTL-OTHER"}).out, "Divide By 2\n");

    const CtlOutcome aux = RunCtlProgram({"aux", "--serial", "MV-CTL-SET"});

    EXPECT_EQ(aux.status, 0) << aux.err;
    EXPECT_EQ(aux.out, "MV-CTL-SET: auxiliary command sent\n");
    EXPECT_EQ(device.FeatureWrites(),
              (Reports{{0, 1, 2, 0, 0, 0, 0, 0, 0}, {0, 2, 99, 0, 0, 0, 0, 0, 0}}));
    EXPECT_TRUE(other.FeatureWrites().empty());
}

TEST_F(CtlOnRealDevices, WithTwoDividersAndNoSerialItIsAUsageErrorAndNothingIsWritten) {
    GuestDevice first(Divider("MV-CTL-ONE", 1));
    GuestDevice second(Divider("MV-CTL-TWO", 2));

    for (const Strings& args : {Strings{"set", "div8"}, Strings{"aux"}, Strings{"get"}}) {
        const CtlOutcome outcome = RunCtlProgram(args);
        SCOPED_TRACE(args.front());
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(outcome.out, "");
        EXPECT_TRUE(Contains(outcome.err, "2 dividers attached; choose one with --serial"))
            << outcome.err;
        EXPECT_TRUE(Contains(outcome.err, "'MV-CTL-ONE' (" + first.Node() + ")")) << outcome.err;
        EXPECT_TRUE(Contains(outcome.err, "'MV-CTL-TWO' (" + second.Node() + ")")) << outcome.err;
    }
    EXPECT_TRUE(first.FeatureWrites().empty());
    EXPECT_TRUE(second.FeatureWrites().empty());
    EXPECT_EQ(RunCtlProgram({"get", "--serial", "MV-CTL-TWO"}).out, "Divide By 4\n");
}

TEST_F(CtlOnRealDevices, ASerialBeyondAsciiPrintsInUtf8AndFindsItsDeviceWhateverTheLocale) {
    GuestDevice wide(Divider(WideSerial, 1));
    GuestDevice plain(Divider("MV-CTL-PLAIN", 0));
    CtlSettings cLocale = WithoutLocale();
    cLocale.environment["LC_ALL"] = "C";

    for (const auto& [settings, name] :
         {std::pair{WithoutLocale(), "no locale variables"}, std::pair{cLocale, "LC_ALL=C"}}) {
        SCOPED_TRACE(name);
        const CtlOutcome table = RunCtlProgram({"list"}, settings);
        EXPECT_EQ(table.status, 0) << table.err;
        const std::string row = RowOf(table, WideSerial);
        EXPECT_TRUE(EndsWith(row, "  " + wide.Node())) << table.out;
        // The serial counts as 7 characters when the columns are lined up.
        EXPECT_EQ(ColumnOf(row, "Merovane test divider"),
                  ColumnOf(table.OutLines().at(0), "PRODUCT"));

        const CtlOutcome json = RunCtlProgram({"list", "--json"}, settings);
        EXPECT_EQ(json.status, 0) << json.err;
        EXPECT_EQ(JsonEntryAt(JsonList(json), wide.Node()).value("serial").toString(),
                  QString::fromUtf8(WideSerial.c_str()))
            << json.out;

        const CtlOutcome get = RunCtlProgram({"get", "--serial", WideSerial}, settings);
        EXPECT_EQ(get.status, 0) << get.err;
        EXPECT_EQ(get.out, "Divide By 2\n");
    }

    const CtlOutcome set = RunCtlProgram({"set", "--serial", WideSerial, "div8"}, WithoutLocale());

    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, WideSerial + ": Divide By 8\n");
    EXPECT_EQ(wide.FeatureWrites(), (Reports{{0, 1, 3}}));
    EXPECT_TRUE(plain.FeatureWrites().empty());
}

TEST_F(CtlOnRealDevices, AsNobodyARootOnlyNodeIsListedAsPermissionDeniedWithTheUdevHint) {
    GuestDevice device(Divider("MV-CTL-LOCKED", 2));
    SetNodeAccess(device.Node(), 0, 0, 0600);
    CtlSettings nobody;
    nobody.asNobody = true;

    const CtlOutcome list = RunCtlProgram({"list"}, nobody);

    EXPECT_EQ(list.status, 3);
    const Strings lines = list.OutLines();
    ASSERT_EQ(lines.size(), 2u) << list.out;
    EXPECT_TRUE(Contains(lines[1], device.Node() + "  (cannot open: permission denied: "))
        << lines[1];
    EXPECT_TRUE(Contains(lines[1], UdevRule)) << lines[1];
    EXPECT_FALSE(Contains(list.out, "MV-CTL-LOCKED")); // nothing could be read

    const CtlOutcome json = RunCtlProgram({"list", "--json"}, nobody);

    EXPECT_EQ(json.status, 3);
    const QJsonObject entry = JsonEntryAt(JsonList(json), device.Node());
    ASSERT_FALSE(entry.isEmpty()) << json.out;
    EXPECT_TRUE(entry.value("serial").isNull()) << json.out;
    EXPECT_EQ(Text(entry.value("error")).rfind("permission denied: ", 0), 0u) << json.out;
    EXPECT_TRUE(Contains(Text(entry.value("error")), UdevRule));

    for (const Strings& args :
         {Strings{"get"}, Strings{"get", "--serial", "MV-CTL-LOCKED"}, Strings{"set", "div4"}}) {
        const CtlOutcome outcome = RunCtlProgram(args, nobody);
        SCOPED_TRACE(args.back());
        EXPECT_EQ(outcome.status, 3);
        EXPECT_EQ(outcome.out, "");
        EXPECT_TRUE(Contains(outcome.err, "permission denied")) << outcome.err;
        EXPECT_TRUE(Contains(outcome.err, UdevRule)) << outcome.err;
    }
    // The device was never reached.
    EXPECT_EQ(device.FeatureReads(), 0);
    EXPECT_TRUE(device.FeatureWrites().empty());
}

TEST_F(CtlOnRealDevices, AsNobodyWithAccessGrantedOnTheNodeListGetAndSetWork) {
    GuestDevice device(Divider("MV-CTL-GRANTED", 2));
    SetNodeAccess(device.Node(), UnprivilegedId, UnprivilegedId, 0660);
    CtlSettings nobody;
    nobody.asNobody = true;

    const CtlOutcome list = RunCtlProgram({"list"}, nobody);

    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_TRUE(EndsWith(RowOf(list, "MV-CTL-GRANTED"), "  " + device.Node())) << list.out;
    EXPECT_FALSE(Contains(list.out, "permission denied"));

    const CtlOutcome get = RunCtlProgram({"get"}, nobody);
    EXPECT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(get.out, "Divide By 4\n");

    const CtlOutcome set = RunCtlProgram({"set", "Divide By 8"}, nobody);
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "MV-CTL-GRANTED: Divide By 8\n");
    EXPECT_EQ(device.FeatureWrites(), (Reports{{0, 1, 3}}));
}

TEST_F(CtlOnRealDevices, WatchReportsAnUnplugAPlugAndAModeChangeThenEndsOnInterrupt) {
    GuestDevice staying(Divider("MV-CTL-STAYS", 1));
    GuestDevice leaving(Divider("MV-CTL-GOES", 2));
    const std::string stayingLine = "attached MV-CTL-STAYS (" + staying.Node() + "): Divide By 2";
    const std::string leavingLine = "attached MV-CTL-GOES (" + leaving.Node() + "): Divide By 4";

    RunningCtl watch({"watch"});
    ASSERT_TRUE(watch.AwaitOutputLine(stayingLine)) << watch.Finish().err;
    ASSERT_TRUE(watch.AwaitOutputLine(leavingLine));

    leaving.Unplug();
    const std::string removedLine = "removed MV-CTL-GOES (" + leaving.Node() + ")";
    ASSERT_TRUE(watch.AwaitOutputLine(removedLine));

    // A keyboard comes first: it is no divider, so no line may name it.
    GuestDevice keyboard(Keyboard());
    GuestDevice arriving(Divider("MV-CTL-NEW", 3));
    const std::string arrivingLine = "attached MV-CTL-NEW (" + arriving.Node() + "): Divide By 8";
    ASSERT_TRUE(watch.AwaitOutputLine(arrivingLine));

    staying.ChangeMode(0);
    const std::string modeLine =
        "mode MV-CTL-STAYS (" + staying.Node() + "): Divide By 2 -> Pass Through";
    ASSERT_TRUE(watch.AwaitOutputLine(modeLine));

    watch.Interrupt();
    const CtlOutcome outcome = watch.Finish();

    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    // What was there at the start comes in the order of the paths.
    Strings expected = staying.Node() < leaving.Node() ? Strings{stayingLine, leavingLine}
                                                       : Strings{leavingLine, stayingLine};
    expected.insert(expected.end(), {removedLine, arrivingLine, modeLine});
    EXPECT_EQ(outcome.OutLines(), expected);
    // Watching only looks.
    EXPECT_TRUE(staying.FeatureWrites().empty());
    EXPECT_TRUE(arriving.FeatureWrites().empty());
}

TEST_F(CtlOnRealDevices, WatchingAmongKeyboardsSeesAccessGrantedLaterAndANodeNumberReused) {
    // The lines are matched on their event, serial, path and mode only.
    const GuestDevice keyboards[] = {GuestDevice(Keyboard()), GuestDevice(Keyboard())};
    GuestDevice late(Divider("MV-CTL-LATE", 2));
    SetNodeAccess(late.Node(), UnprivilegedId, UnprivilegedId, 0);
    const std::string node = late.Node();
    CtlSettings nobody;
    nobody.asNobody = true;

    RunningCtl watch({"watch"}, nobody);
    ASSERT_TRUE(watch.AwaitOutputLineWith({"attached", node, "permission denied"}))
        << watch.Finish().err;

    // Access granted without a replug: the divider is read at the next look.
    SetNodeAccess(node, UnprivilegedId, UnprivilegedId, 0600);
    ASSERT_TRUE(watch.AwaitOutputLineWith({"MV-CTL-LATE", node, "Divide By 4"}));

    late.Unplug();
    ASSERT_TRUE(watch.AwaitOutputLineWith({"removed", "MV-CTL-LATE", node}));
    GuestDevice reused(Divider("MV-CTL-REUSED", 3));
    ASSERT_EQ(reused.Node(), node) << "the kernel gave the node number another time";
    SetNodeAccess(node, UnprivilegedId, UnprivilegedId, 0600);
    ASSERT_TRUE(watch.AwaitOutputLineWith({"MV-CTL-REUSED", node, "Divide By 8"}));

    watch.Interrupt();
    const CtlOutcome outcome = watch.Finish();
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    // The reused node never shows the device that left it.
    const Strings lines = outcome.OutLines();
    const auto removed = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return Contains(line, "removed");
    });
    EXPECT_TRUE(std::none_of(removed, lines.end(), [](const std::string& line) {
        return Contains(line, "MV-CTL-LATE") && !Contains(line, "removed");
    })) << outcome.out;
}

TEST_F(CtlOnRealDevices, WithNoDividerAttachedListSaysSoAndExitsOne) {
    for (const bool withKeyboard : {false, true}) {
        SCOPED_TRACE(withKeyboard ? "a keyboard only" : "nothing attached");
        std::optional<GuestDevice> keyboard;
        if (withKeyboard)
            keyboard.emplace(Keyboard());

        const CtlOutcome list = RunCtlProgram({"list"});
        EXPECT_EQ(list.status, 1);
        EXPECT_EQ(list.out, "");
        EXPECT_EQ(list.err, "merovane-ctl: no Merovane clock divider attached\n");

        const CtlOutcome json = RunCtlProgram({"list", "--json"});
        EXPECT_EQ(json.status, 1);
        EXPECT_TRUE(JsonList(json).isEmpty()) << json.out;

        EXPECT_EQ(RunCtlProgram({"get"}).status, 1);
    }
}

} // namespace
} // namespace merovane::guest
