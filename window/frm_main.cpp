#include "window/frm_main.h"

#include <QCloseEvent>

namespace merovane {

frmMain::frmMain(HidHost& host, QWidget* parent)
    : QWidget(parent), Command1(new QPushButton(this)), Frame3(new QGroupBox(this)),
      Enc1(new QComboBox(Frame3.Widget())), Frame1(new QGroupBox(this)),
      SerNo(new QComboBox(Frame1.Widget())), lblSerialNumber(new QLabel(Frame1.Widget())),
      lblVersion(new QLabel(Frame1.Widget())), lblProduct(new QLabel(Frame1.Widget())),
      lblManuf(new QLabel(Frame1.Widget())), Label2(new QLabel(Frame1.Widget())),
      Label5(new QLabel(Frame1.Widget())), Label4(new QLabel(Frame1.Widget())),
      Label3(new QLabel(Frame1.Widget())), host_(host) {
    BuildForm();
    SerNo.OnClick([this] { SerNo_Click(); });
    Enc1.OnClick([this] { Enc1_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    Timer.OnTick([this] { Timer_Timer(); });
}

frmMain::~frmMain() {
    // A window destroyed without being closed still lets go of its device.
    if (loaded_ && !unloaded_)
        Form_Unload();
}

void frmMain::Load() {
    if (loaded_)
        return;
    loaded_ = true;
    Form_Load();
}

void frmMain::closeEvent(QCloseEvent* event) {
    // Closing is never refused.
    if (loaded_ && !unloaded_) {
        unloaded_ = true;
        Form_Unload();
    }
    event->accept();
}

} // namespace merovane
