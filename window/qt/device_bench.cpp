#include "window/qt/device_bench.h"

#include "device/feature_protocol.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

namespace merovane {

namespace {

constexpr int Gap = 12; // pixels between the two windows

QString YesNo(bool value) {
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString Hex4(USHORT value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString PathsText(const VirtualDevice& device) {
    QStringList paths;
    for (const std::string& path : device.interfaces)
        paths << QString::fromStdString(path);
    return paths.join(QStringLiteral(", "));
}

} // namespace

DeviceBench::DeviceBench(SimulatedHost& host, QWidget* parent)
    : QWidget(parent), host_(host), devices_(new QTableWidget(0, ColumnCount, this)),
      selectedBox_(new QGroupBox(this)), unplug_(new QPushButton("Unplug", selectedBox_)),
      plugBack_(new QPushButton("Plug back", selectedBox_)),
      streams_(new QCheckBox("Sends input reports", selectedBox_)),
      featureReadFails_(new QCheckBox("Feature read fails", selectedBox_)),
      featureWriteFails_(new QCheckBox("Feature write fails", selectedBox_)),
      mode_(new QSpinBox(selectedBox_)), modeShownAs_(new QLabel(selectedBox_)),
      newSerial_(new QLineEdit(this)), addDevice_(new QPushButton("Add device…", this)),
      writtenReports_(new QListWidget(this)) {
    setObjectName("DeviceBench");
    setWindowTitle("Virtual devices");
    // The main window alone keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);

    devices_->setObjectName("devices");
    devices_->setHorizontalHeaderLabels(
        {"Serial", "Path", "IDs", "Plugged", "Mode", "Streams", "Read fails", "Write fails"});
    devices_->verticalHeader()->hide();
    devices_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    devices_->setSelectionBehavior(QAbstractItemView::SelectRows);
    devices_->setSelectionMode(QAbstractItemView::SingleSelection);
    devices_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    devices_->setWordWrap(false);

    selectedBox_->setObjectName("selectedDevice");
    unplug_->setObjectName("unplug");
    plugBack_->setObjectName("plugBack");
    streams_->setObjectName("streams");
    featureReadFails_->setObjectName("featureReadFails");
    featureWriteFails_->setObjectName("featureWriteFails");
    mode_->setObjectName("mode");
    mode_->setRange(0, 255);
    modeShownAs_->setObjectName("modeShownAs");
    newSerial_->setObjectName("newSerial");
    newSerial_->setPlaceholderText("Serial of the new divider");
    addDevice_->setObjectName("addDevice");
    writtenReports_->setObjectName("writtenReports");
    writtenReports_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    writtenReports_->setSelectionMode(QAbstractItemView::NoSelection);

    auto* plugRow = new QHBoxLayout;
    plugRow->addWidget(unplug_);
    plugRow->addWidget(plugBack_);
    plugRow->addStretch();
    auto* failRow = new QHBoxLayout;
    failRow->addWidget(streams_);
    failRow->addWidget(featureReadFails_);
    failRow->addWidget(featureWriteFails_);
    failRow->addStretch();
    auto* modeRow = new QHBoxLayout;
    auto* modeLabel = new QLabel("Mode it reports:", selectedBox_);
    modeLabel->setBuddy(mode_);
    modeRow->addWidget(modeLabel);
    modeRow->addWidget(mode_);
    modeRow->addWidget(modeShownAs_);
    modeRow->addStretch();
    auto* selectedLayout = new QVBoxLayout(selectedBox_);
    selectedLayout->addLayout(plugRow);
    selectedLayout->addLayout(failRow);
    selectedLayout->addLayout(modeRow);

    auto* addRow = new QHBoxLayout;
    addRow->addWidget(new QLabel("New divider:", this));
    addRow->addWidget(newSerial_, 1);
    addRow->addWidget(addDevice_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Devices (every device plugged since the start):", this));
    layout->addWidget(devices_, 3);
    layout->addWidget(selectedBox_);
    layout->addLayout(addRow);
    layout->addWidget(new QLabel("Feature reports written, newest first:", this));
    layout->addWidget(writtenReports_, 2);

    connect(devices_, &QTableWidget::itemSelectionChanged, this, [this] { SyncControls(); });
    connect(unplug_, &QPushButton::clicked, this, [this] {
        ChangeSelected([this](SimulatedHost::DeviceId id, VirtualDevice&) { host_.Unplug(id); });
    });
    connect(plugBack_, &QPushButton::clicked, this, [this] {
        ChangeSelected([this](SimulatedHost::DeviceId id, VirtualDevice&) { host_.PlugBack(id); });
    });
    connect(streams_, &QCheckBox::clicked, this, [this](bool on) {
        ChangeSelected(
            [on](SimulatedHost::DeviceId, VirtualDevice& device) { device.streams = on; });
    });
    connect(featureReadFails_, &QCheckBox::clicked, this, [this](bool on) {
        ChangeSelected(
            [on](SimulatedHost::DeviceId, VirtualDevice& device) { device.featureReadFails = on; });
    });
    connect(featureWriteFails_, &QCheckBox::clicked, this, [this](bool on) {
        ChangeSelected([on](SimulatedHost::DeviceId, VirtualDevice& device) {
            device.featureWriteFails = on;
        });
    });
    connect(mode_, &QSpinBox::valueChanged, this, [this](int value) {
        ChangeSelected([value](SimulatedHost::DeviceId, VirtualDevice& device) {
            device.mode = static_cast<BYTE>(value);
        });
    });
    const auto add = [this] {
        SelectDevice(AddDivider(newSerial_->text().toStdU16String()));
    };
    connect(addDevice_, &QPushButton::clicked, this, add);
    connect(newSerial_, &QLineEdit::returnPressed, this, add);

    for (const FeatureWrite& write : host_.Ledger().featureWrites)
        ShowWrittenReport(write);
    host_.OnFeatureWrite([this](const FeatureWrite& write) {
        ShowWrittenReport(write);
        RefreshDevices();
    });

    RefreshDevices();
    // Start on the first divider, the device one usually wants to change.
    for (const SimulatedHost::DeviceId id : rows_) {
        const VirtualDevice& device = host_.Device(id);
        if (device.vendorId == TargetVendorId && device.productId == TargetProductId) {
            SelectDevice(id);
            break;
        }
    }
    SyncControls();
    // Wide enough for every column at first; the table scrolls beyond that.
    const int tableWidth = devices_->horizontalHeader()->length() + 2 * devices_->frameWidth() +
                           devices_->verticalScrollBar()->sizeHint().width();
    const QMargins margins = layout->contentsMargins();
    int width = std::max(560, tableWidth + margins.left() + margins.right());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        width = std::min(width, screen->availableGeometry().width() * 3 / 4);
    resize(width, 520);
}

DeviceBench::~DeviceBench() {
    host_.OnFeatureWrite({});
}

std::optional<SimulatedHost::DeviceId> DeviceBench::SelectedDevice() const {
    const QList<QTableWidgetItem*> selected = devices_->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    const int row = selected.front()->row();
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size())
        return std::nullopt;
    return rows_[static_cast<std::size_t>(row)];
}

void DeviceBench::SelectDevice(SimulatedHost::DeviceId id) {
    const auto found = std::find(rows_.begin(), rows_.end(), id);
    if (found != rows_.end())
        devices_->selectRow(static_cast<int>(found - rows_.begin()));
}

SimulatedHost::DeviceId DeviceBench::AddDivider(const std::u16string& serial) {
    const SimulatedHost::DeviceId id =
        host_.Plug(VirtualDevice{.interfaces = {NextFreePath()},
                                 .serial = serial,
                                 .manufacturer = u"Merovane Instruments",
                                 .product = u"Clock Divider CD-4",
                                 .streams = true});
    newSerial_->clear();
    RefreshDevices();
    return id;
}

QString DeviceBench::SerialText(const std::optional<std::u16string>& serial) {
    if (!serial)
        return QStringLiteral("(unreadable)");
    return QString::fromStdU16String(*serial);
}

QString DeviceBench::ModeText(BYTE mode) {
    // The window shows every code above the highest as the highest mode.
    const QString shown =
        QString::fromUtf8(OutputModeTexts[std::min<std::size_t>(mode, HighestOutputMode)].data());
    if (mode > HighestOutputMode)
        return QStringLiteral("%1 (shown as %2)").arg(mode).arg(shown);
    return QStringLiteral("%1 %2").arg(mode).arg(shown);
}

QString DeviceBench::WrittenReportText(const FeatureWrite& write) {
    QStringList bytes;
    for (const BYTE byte : write.bytes)
        bytes << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    QString text = bytes.join(' ') + QStringLiteral("  to ") +
                   (write.path.empty() ? QStringLiteral("(no open device)")
                                       : QString::fromStdString(write.path));
    if (!write.delivered)
        text += QStringLiteral("  refused");
    return text;
}

void DeviceBench::RefreshDevices() {
    rows_ = host_.Devices();
    devices_->setRowCount(static_cast<int>(rows_.size()));
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const SimulatedHost::DeviceId id = rows_[i];
        const VirtualDevice& device = host_.Device(id);
        const QString cells[ColumnCount] = {
            SerialText(device.serial),
            PathsText(device),
            Hex4(device.vendorId) + ':' + Hex4(device.productId),
            host_.IsPlugged(id) ? QStringLiteral("plugged") : QStringLiteral("unplugged"),
            ModeText(device.mode),
            YesNo(device.streams),
            YesNo(device.featureReadFails),
            YesNo(device.featureWriteFails),
        };
        const int row = static_cast<int>(i);
        for (int column = 0; column < ColumnCount; ++column) {
            if (QTableWidgetItem* item = devices_->item(row, column))
                item->setText(cells[column]);
            else
                devices_->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
    }
    devices_->resizeColumnsToContents();
    SyncControls();
}

void DeviceBench::SyncControls() {
    const std::optional<SimulatedHost::DeviceId> id = SelectedDevice();
    selectedBox_->setEnabled(id.has_value());
    if (!id) {
        selectedBox_->setTitle("Selected device: none");
        modeShownAs_->clear();
        return;
    }
    const VirtualDevice& device = host_.Device(*id);
    const bool plugged = host_.IsPlugged(*id);
    selectedBox_->setTitle("Selected device: " + SerialText(device.serial) + "  (" +
                           PathsText(device) + ")");
    unplug_->setEnabled(plugged);
    plugBack_->setEnabled(!plugged);
    // clicked and a blocked valueChanged: setting the controls changes nothing.
    streams_->setChecked(device.streams);
    featureReadFails_->setChecked(device.featureReadFails);
    featureWriteFails_->setChecked(device.featureWriteFails);
    {
        const QSignalBlocker blocker(mode_);
        mode_->setValue(device.mode);
    }
    modeShownAs_->setText(ModeText(device.mode));
}

void DeviceBench::ShowWrittenReport(const FeatureWrite& write) {
    writtenReports_->insertItem(0, WrittenReportText(write));
    // No longer than the host's own ledger.
    while (static_cast<std::size_t>(writtenReports_->count()) > SimulatedHost::LedgerDepth)
        delete writtenReports_->takeItem(writtenReports_->count() - 1);
}

std::string DeviceBench::NextFreePath() const {
    std::set<std::string> used;
    for (const SimulatedHost::DeviceId id : host_.Devices())
        for (const std::string& path : host_.Device(id).interfaces)
            used.insert(path);
    for (int n = 0;; ++n) {
        std::string path = "/dev/hidraw-demo" + std::to_string(n);
        if (!used.contains(path))
            return path;
    }
}

template <typename Change> void DeviceBench::ChangeSelected(Change change) {
    const std::optional<SimulatedHost::DeviceId> id = SelectedDevice();
    if (!id)
        return;
    change(*id, host_.Device(*id));
    RefreshDevices();
}

void PlaceBeside(QWidget& mainWindow, QWidget& bench) {
    const QScreen* screen = mainWindow.screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    // Frame sizes: the window manager's frame, once the windows have one.
    const QSize mainSize = mainWindow.frameGeometry().size();
    const QSize benchSize = bench.frameGeometry().size();
    const int pairWidth = mainSize.width() + Gap + benchSize.width();
    const int left = area.left() + std::max(0, (area.width() - pairWidth) / 2);
    const int top = area.top() + std::max(0, (area.height() - benchSize.height()) / 2);
    mainWindow.move(left, top);
    // A pair wider than the screen: the bench overlaps the main window's
    // right side rather than leaving the screen.
    const int benchLeft =
        std::min(left + mainSize.width() + Gap, area.right() + 1 - benchSize.width());
    bench.move(std::max(area.left(), benchLeft), top);
}

} // namespace merovane
