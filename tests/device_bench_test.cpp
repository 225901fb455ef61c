// The demo's bench of virtual devices: what it shows of the host, what its
// controls change there, and what the window makes of those changes.
#include "device/simulated/demo_devices.h"
#include "support/window_scenario.h"
#include "window/qt/device_bench.h"
#include "window/qt/qt_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>

namespace merovane::test {
namespace {

using Strings = std::vector<std::string>;
using Column = DeviceBench::Column;

class Bench : public WindowScenario {
protected:
    DeviceBench& MakeBench() {
        bench_ = std::make_unique<DeviceBench>(host);
        return *bench_;
    }

    template <typename Widget> Widget& Control(const char* name) {
        auto* widget = bench_->findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return *widget;
    }
    QTableWidget& Table() { return Control<QTableWidget>("devices"); }
    QListWidget& Written() { return Control<QListWidget>("writtenReports"); }

    int RowCount() { return Table().rowCount(); }
    std::string Cell(int row, Column column) {
        const QTableWidgetItem* item = Table().item(row, column);
        return item != nullptr ? item->text().toStdString() : "(no item)";
    }
    // The row that shows the device with this path.
    int RowOf(const std::string& path) {
        for (int row = 0; row < RowCount(); ++row)
            if (Cell(row, DeviceBench::PathColumn) == path)
                return row;
        ADD_FAILURE() << "no row for " << path;
        return -1;
    }
    // The user clicks a row of the table.
    void SelectRow(int row) { Table().selectRow(row); }
    // The user clicks a button or a check box, which must take input.
    template <typename Button> void Press(const char* name) {
        Button& button = Control<Button>(name);
        ASSERT_TRUE(button.isEnabled()) << name << " takes no input";
        button.click();
    }
    std::string WrittenLine(int row) {
        const QListWidgetItem* item = Written().item(row);
        return item != nullptr ? item->text().toStdString() : "(no line)";
    }
    // The one path the window holds open, through both of its handles.
    std::string OpenPath() {
        const std::multiset<std::string> paths = OpenPaths();
        EXPECT_EQ(paths.size(), 2u);
        return paths.empty() ? "" : *paths.begin();
    }

    std::unique_ptr<DeviceBench> bench_;
};

TEST_F(Bench, ListsEveryDemoDeviceInPlugOrderWithWhatItIsAndSelectsTheFirstDivider) {
    PlugDemoDevices(host);
    MakeBench();

    ASSERT_EQ(RowCount(), 3);
    EXPECT_EQ(Cell(0, DeviceBench::SerialColumn), "(unreadable)");
    EXPECT_EQ(Cell(0, DeviceBench::PathColumn), "/dev/hidraw-demo0");
    EXPECT_EQ(Cell(0, DeviceBench::IdsColumn), "046D:C534");
    EXPECT_EQ(Cell(1, DeviceBench::SerialColumn), "MV2B-00417");
    EXPECT_EQ(Cell(1, DeviceBench::IdsColumn), "4F3A:2B16");
    EXPECT_EQ(Cell(1, DeviceBench::PluggedColumn), "plugged");
    EXPECT_EQ(Cell(1, DeviceBench::ModeColumn), "1 Divide By 2");
    EXPECT_EQ(Cell(1, DeviceBench::StreamsColumn), "yes");
    EXPECT_EQ(Cell(1, DeviceBench::ReadFailsColumn), "no");
    EXPECT_EQ(Cell(1, DeviceBench::WriteFailsColumn), "no");
    EXPECT_EQ(Cell(2, DeviceBench::SerialColumn), "MV2B-00988");
    EXPECT_EQ(Cell(2, DeviceBench::PathColumn), "/dev/hidraw-demo2");
    EXPECT_EQ(Cell(2, DeviceBench::ModeColumn), "2 Divide By 4");

    EXPECT_EQ(bench_->SelectedDevice(), host.Devices()[1]);
    EXPECT_EQ(Control<QSpinBox>("mode").value(), 1);
    EXPECT_TRUE(Control<QCheckBox>("streams").isChecked());
    EXPECT_FALSE(Control<QPushButton>("plugBack").isEnabled());
    EXPECT_EQ(bench_->windowTitle().toStdString(), "Virtual devices");
}

TEST_F(Bench, SerialsShowAsTextEmptyOrUnreadable) {
    EXPECT_EQ(DeviceBench::SerialText(u"Z\u00FCrich \u20AC").toStdU16String(),
              u"Z\u00FCrich \u20AC");
    EXPECT_EQ(DeviceBench::SerialText(u"").toStdString(), "");
    EXPECT_EQ(DeviceBench::SerialText(std::nullopt).toStdString(), "(unreadable)");
}

TEST_F(Bench, UnpluggingFromTheBenchLosesTheOpenDeviceAtTheWindowsNextTick) {
    PlugDemoDevices(host);
    Start();
    MakeBench();
    const std::string open = OpenPath();
    ASSERT_EQ(open, "/dev/hidraw-demo2");
    const SimulatedHost::DeviceId id = host.Devices()[2];

    SelectRow(RowOf(open));
    Press<QPushButton>("unplug");

    EXPECT_FALSE(host.IsPlugged(id));
    EXPECT_EQ(Cell(RowOf(open), DeviceBench::PluggedColumn), "unplugged");
    EXPECT_FALSE(Control<QPushButton>("unplug").isEnabled());
    EXPECT_TRUE(Control<QPushButton>("plugBack").isEnabled());
    // The bench tells the window nothing: it finds out at its tick.
    EXPECT_TRUE(State().DeviceFound);

    Tick();
    EXPECT_EQ(Items(Window().SerNo), Strings{"MV2B-00417"});
    EXPECT_EQ(OpenPath(), "/dev/hidraw-demo1");
    ExpectHostClean();

    Press<QPushButton>("plugBack");
    EXPECT_TRUE(host.IsPlugged(id));
    EXPECT_EQ(Cell(RowOf(open), DeviceBench::PluggedColumn), "plugged");
    EXPECT_TRUE(Control<QPushButton>("unplug").isEnabled());
}

TEST_F(Bench, StoppingInputReportsMakesTheWindowDropTheDeviceAtItsNextTick) {
    const auto id = Plug(Divider(u"A", 1));
    Start();
    MakeBench();
    const HANDLE first = State().FeatureHandle;
    const std::deque<HANDLE>& closes = host.Ledger().closes;
    const auto Closed = [&closes](HANDLE handle) {
        return std::find(closes.begin(), closes.end(), handle) != closes.end();
    };
    Tick();
    ASSERT_EQ(State().FeatureHandle, first) << "a streaming device is kept";

    Press<QCheckBox>("streams");
    EXPECT_FALSE(host.Device(id).streams);
    EXPECT_EQ(Cell(0, DeviceBench::StreamsColumn), "no");
    EXPECT_FALSE(Control<QCheckBox>("streams").isChecked());

    // The probe finds no report: the connection is closed, and the rescan
    // opens the device afresh.
    Tick();
    EXPECT_TRUE(Closed(first));
    const HANDLE second = State().FeatureHandle;
    EXPECT_NE(second, first);

    Press<QCheckBox>("streams");
    EXPECT_TRUE(host.Device(id).streams);
    Tick();
    EXPECT_EQ(State().FeatureHandle, second);
    EXPECT_FALSE(Closed(second));
    ExpectHostClean();
}

TEST_F(Bench, AFailingWriteIsRefusedAndMarkedAndAFailingReadLeavesTheModeUnknown) {
    const auto id = Plug(Divider(u"A", 1));
    Start();
    MakeBench();

    Press<QCheckBox>("featureWriteFails");
    EXPECT_TRUE(host.Device(id).featureWriteFails);
    EXPECT_EQ(Cell(0, DeviceBench::WriteFailsColumn), "yes");
    PickMode(3);
    EXPECT_EQ(host.Device(id).mode, 1);
    EXPECT_EQ(WrittenLine(0), "00 01 03  to sim:1  refused");

    Press<QCheckBox>("featureWriteFails");
    EXPECT_FALSE(host.Device(id).featureWriteFails);
    Press<QCheckBox>("featureReadFails");
    EXPECT_TRUE(host.Device(id).featureReadFails);
    EXPECT_EQ(Cell(0, DeviceBench::ReadFailsColumn), "yes");

    // Reconnected, the window cannot read the mode and offers none.
    Press<QPushButton>("unplug");
    Tick();
    Press<QPushButton>("plugBack");
    Tick();
    EXPECT_TRUE(State().DeviceFound);
    EXPECT_FALSE(TakesInput(Window().Enc1));

    Press<QCheckBox>("featureReadFails");
    EXPECT_FALSE(host.Device(id).featureReadFails);
    ExpectHostClean();
}

TEST_F(Bench, TheModeSetOnTheBenchIsWhatTheDeviceReportsAboveThreeToo) {
    const auto first = Plug(Divider(u"A", 0));
    const auto second = Plug(Divider(u"B", 0));
    MakeBench();
    SelectRow(1);

    Control<QSpinBox>("mode").setValue(7);
    EXPECT_EQ(host.Device(second).mode, 7);
    EXPECT_EQ(host.Device(first).mode, 0);
    EXPECT_EQ(Cell(1, DeviceBench::ModeColumn), "7 (shown as Divide By 8)");
    EXPECT_EQ(Control<QLabel>("modeShownAs").text().toStdString(), "7 (shown as Divide By 8)");

    Start();
    EXPECT_EQ(Window().SerNo.Text(), "B");
    EXPECT_EQ(Window().Enc1.Text(), "Divide By 8");

    Control<QSpinBox>("mode").setValue(255);
    EXPECT_EQ(host.Device(second).mode, 255);
    Control<QSpinBox>("mode").setValue(2);
    EXPECT_EQ(host.Device(second).mode, 2);
    EXPECT_EQ(Cell(1, DeviceBench::ModeColumn), "2 Divide By 4");

    // Choosing another row shows that device's mode and changes nothing.
    SelectRow(0);
    EXPECT_EQ(Control<QSpinBox>("mode").value(), 0);
    EXPECT_EQ(host.Device(second).mode, 2);
    EXPECT_EQ(host.Device(first).mode, 0);
}

TEST_F(Bench, AddingADeviceWithATypedSerialPlugsADividerOnTheNextFreePath) {
    PlugDemoDevices(host);
    MakeBench();

    Control<QLineEdit>("newSerial").setText("MV2B-77777");
    Press<QPushButton>("addDevice");

    ASSERT_EQ(host.Devices().size(), 4u);
    const SimulatedHost::DeviceId added = host.Devices()[3];
    const VirtualDevice& device = host.Device(added);
    EXPECT_TRUE(host.IsPlugged(added));
    EXPECT_EQ(device.serial, u"MV2B-77777");
    EXPECT_EQ(device.manufacturer, u"Merovane Instruments");
    EXPECT_EQ(device.product, u"Clock Divider CD-4");
    EXPECT_EQ(device.vendorId, TargetVendorId);
    EXPECT_EQ(device.productId, TargetProductId);
    EXPECT_TRUE(device.streams);
    EXPECT_EQ(device.interfaces, Strings{"/dev/hidraw-demo3"});
    ASSERT_EQ(RowCount(), 4);
    EXPECT_EQ(Cell(3, DeviceBench::SerialColumn), "MV2B-77777");
    EXPECT_EQ(bench_->SelectedDevice(), added);
    EXPECT_TRUE(Control<QLineEdit>("newSerial").text().isEmpty());

    // Enter in the field adds too; a serial beyond ASCII stays as typed.
    Control<QLineEdit>("newSerial").setText(QString::fromStdU16String(u"Z\u00FCrich-\u20AC"));
    emit Control<QLineEdit>("newSerial").returnPressed();
    ASSERT_EQ(host.Devices().size(), 5u);
    EXPECT_EQ(host.Device(host.Devices()[4]).serial, u"Z\u00FCrich-\u20AC");
    EXPECT_EQ(host.Device(host.Devices()[4]).interfaces, Strings{"/dev/hidraw-demo4"});
}

TEST_F(Bench, AnAddedDeviceTakesAPathNoOtherDeviceUses) {
    Plug(VirtualDevice{.interfaces = {"/dev/hidraw-demo0", "/dev/hidraw-demo2"}});
    MakeBench();
    EXPECT_EQ(host.Device(bench_->AddDivider(u"X")).interfaces, Strings{"/dev/hidraw-demo1"});
    EXPECT_EQ(host.Device(bench_->AddDivider(u"Y")).interfaces, Strings{"/dev/hidraw-demo3"});
}

TEST_F(Bench, TheWindowListsAnAddedDeviceOnceItLooksForDevicesAgain) {
    PlugDemoDevices(host);
    Start();
    MakeBench();
    ASSERT_EQ(Items(Window().SerNo), (Strings{"MV2B-00417", "MV2B-00988"}));

    Control<QLineEdit>("newSerial").setText("MV2B-31337");
    Press<QPushButton>("addDevice");
    // A device is open: the window does not look again.
    Tick();
    EXPECT_EQ(Items(Window().SerNo), (Strings{"MV2B-00417", "MV2B-00988"}));

    SelectRow(RowOf(OpenPath()));
    Press<QPushButton>("unplug");
    Tick();
    EXPECT_EQ(Items(Window().SerNo), (Strings{"MV2B-00417", "MV2B-31337"}));
    ExpectHostClean();
}

TEST_F(Bench, AWriteByTheWindowAppearsAtTheTopOfTheWrittenReportsWithItsBytes) {
    const auto id = Plug(Divider(u"A", 0));
    Start();
    MakeBench();
    EXPECT_EQ(Written().count(), 0);

    PickMode(2);
    ASSERT_EQ(Written().count(), 1);
    EXPECT_EQ(WrittenLine(0), "00 01 02  to sim:1");
    // The host applied the mode; the device view follows.
    EXPECT_EQ(host.Device(id).mode, 2);
    EXPECT_EQ(Cell(0, DeviceBench::ModeColumn), "2 Divide By 4");
    EXPECT_EQ(Control<QSpinBox>("mode").value(), 2);

    PressCommand1();
    ASSERT_EQ(Written().count(), 2);
    EXPECT_EQ(WrittenLine(0), "00 02 63  to sim:1");
    EXPECT_EQ(WrittenLine(1), "00 01 02  to sim:1");
}

TEST_F(Bench, ReportsWrittenBeforeTheBenchOpensAreListedNewestFirst) {
    Plug(Divider(u"A", 0));
    Start();
    PickMode(1);
    PickMode(3);

    MakeBench();
    ASSERT_EQ(Written().count(), 2);
    EXPECT_EQ(WrittenLine(0), "00 01 03  to sim:1");
    EXPECT_EQ(WrittenLine(1), "00 01 01  to sim:1");
}

TEST_F(Bench, ABenchClosedOrDestroyedNoLongerHearsOfWrites) {
    Plug(Divider(u"A", 0));
    Start();
    MakeBench();
    bench_.reset();
    // The host's observer went with the bench: this write reaches no dead bench.
    PickMode(2);
    EXPECT_EQ(host.Ledger().featureWrites.size(), 1u);

    MakeBench();
    EXPECT_EQ(WrittenLine(0), "00 01 02  to sim:1");
}

TEST_F(Bench, ClosingTheMainWindowEndsTheProgramWithTheBenchOpen) {
    Plug(Divider(u"A", 0));
    std::size_t closesBefore = 0;
    {
        frmMain window(host);
        DeviceBench bench(host);
        window.Load();
        bench.show();
        ASSERT_EQ(host.Ledger().openNow.size(), 2u);
        closesBefore = host.Ledger().closes.size();

        QObject guard;
        QTimer::singleShot(0, &guard, [&] {
            window.View().Close();
            // Had the program gone on, this ends it with a failure code, after
            // anything the close set in motion.
            QTimer::singleShot(
                0, &guard, [&] { QTimer::singleShot(0, &guard, [] { QApplication::exit(2); }); });
        });
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_FALSE(window.View().Visible());
        EXPECT_TRUE(host.Ledger().openNow.empty());
        EXPECT_EQ(host.Ledger().closes.size(), closesBefore + 2);
    }
    // The window's unload ran once: its destruction closed nothing more.
    EXPECT_EQ(host.Ledger().closes.size(), closesBefore + 2);
    EXPECT_TRUE(host.Ledger().violations.empty());
}

TEST_F(Bench, PlaceBesideSetsTheBenchToTheRightOfTheWindowOnTheScreen) {
    Plug(Divider(u"A", 0));
    Start();
    MakeBench();
    QWidget& form = dynamic_cast<QtForm&>(Window().View());
    const QRect area = form.screen()->availableGeometry();

    bench_->resize(area.width() / 3, area.height() / 2);
    PlaceBeside(form, *bench_);
    const QRect main = form.frameGeometry();
    const QRect bench = bench_->frameGeometry();
    EXPECT_GT(bench.left(), main.right());
    EXPECT_EQ(bench.top(), main.top());
    EXPECT_TRUE(area.contains(main)) << main.x() << "," << main.y();
    EXPECT_TRUE(area.contains(bench)) << bench.x() << "," << bench.y();

    // Too wide for the pair: the bench stays on the screen.
    bench_->resize(area.width() - 10, area.height() / 2);
    PlaceBeside(form, *bench_);
    EXPECT_TRUE(area.contains(bench_->frameGeometry()));
}

} // namespace
} // namespace merovane::test
