// DeviceBench: the demo's "Virtual devices" window. It shows every device of a
// simulated host and lets the user change them while the main window runs on
// that host: plug and unplug, start and stop input reports, make feature reads
// or writes fail, set the mode a device reports, and add another divider. It
// also lists the feature reports written to the host, newest first.
//
// The bench only drives the host; the main window notices the changes as it
// would notice real devices. Nothing here polls: the device view is refreshed
// after each change made from the bench and after each feature report the host
// is told of (a mode write changes a device's mode).
#pragma once

#include "device/simulated/simulated_host.h"

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace merovane {

class DeviceBench : public QWidget {
public:
    // Columns of the device table.
    enum Column {
        SerialColumn,
        PathColumn,
        IdsColumn,
        PluggedColumn,
        ModeColumn,
        StreamsColumn,
        ReadFailsColumn,
        WriteFailsColumn,
        ColumnCount
    };

    // Takes over the host's feature-write observer until the bench is destroyed.
    explicit DeviceBench(SimulatedHost& host, QWidget* parent = nullptr);
    ~DeviceBench() override;

    // The device of the selected row, if a row is selected.
    std::optional<SimulatedHost::DeviceId> SelectedDevice() const;
    void SelectDevice(SimulatedHost::DeviceId id);

    // Plugs a new clock divider with this serial on the next free demo path;
    // returns its id. What "Add device…" does with the typed serial.
    SimulatedHost::DeviceId AddDivider(const std::u16string& serial);

    // How the bench shows a serial, a mode and a written report.
    static QString SerialText(const std::optional<std::u16string>& serial);
    static QString ModeText(BYTE mode);
    static QString WrittenReportText(const FeatureWrite& write);

private:
    void RefreshDevices();
    // Puts the controls for the selected device in line with it.
    void SyncControls();
    void ShowWrittenReport(const FeatureWrite& write);
    // The first "/dev/hidraw-demoN" that no device of the host uses.
    std::string NextFreePath() const;
    // Applies a change to the selected device, then refreshes the view.
    template <typename Change> void ChangeSelected(Change change);

    SimulatedHost& host_;
    std::vector<SimulatedHost::DeviceId> rows_; // the device of each table row

    QTableWidget* devices_;
    QGroupBox* selectedBox_;
    QPushButton* unplug_;
    QPushButton* plugBack_;
    QCheckBox* streams_;
    QCheckBox* featureReadFails_;
    QCheckBox* featureWriteFails_;
    QSpinBox* mode_;
    QLabel* modeShownAs_;
    QLineEdit* newSerial_;
    QPushButton* addDevice_;
    QListWidget* writtenReports_;
};

// Moves the main window and the bench so that they stand side by side on the
// main window's screen, the bench to the right, the pair centred when it fits.
void PlaceBeside(QWidget& mainWindow, QWidget& bench);

} // namespace merovane
