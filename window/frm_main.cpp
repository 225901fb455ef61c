#include "window/frm_main.h"

#include <utility>

namespace merovane {

frmMain::frmMain(HidHost& host, std::unique_ptr<FormView> view)
    : view_(std::move(view)), Command1(view_->Button(Control::Command1)),
      Frame3(view_->Frame(Control::Frame3)), Enc1(view_->List(Control::Enc1)),
      Frame1(view_->Frame(Control::Frame1)), SerNo(view_->List(Control::SerNo)),
      Timer(view_->Timer(Control::Timer)), lblSerialNumber(view_->Label(Control::lblSerialNumber)),
      lblVersion(view_->Label(Control::lblVersion)), lblProduct(view_->Label(Control::lblProduct)),
      lblManuf(view_->Label(Control::lblManuf)), Label2(view_->Label(Control::Label2)),
      Label5(view_->Label(Control::Label5)), Label4(view_->Label(Control::Label4)),
      Label3(view_->Label(Control::Label3)), host_(host) {
    // The captions and first states of the layout, set through the controls
    // so that their records and their views agree.
    const std::pair<Label*, Control> labels[] = {{&lblSerialNumber, Control::lblSerialNumber},
                                                 {&lblVersion, Control::lblVersion},
                                                 {&lblProduct, Control::lblProduct},
                                                 {&lblManuf, Control::lblManuf},
                                                 {&Label2, Control::Label2},
                                                 {&Label5, Control::Label5},
                                                 {&Label4, Control::Label4},
                                                 {&Label3, Control::Label3}};
    for (const auto& [label, id] : labels)
        label->SetCaption(MainForm[id].caption);
    Frame1.SetEnabled(MainForm[Control::Frame1].enabled);
    Frame3.SetEnabled(MainForm[Control::Frame3].enabled);
    SerNo.SetEnabled(MainForm[Control::SerNo].enabled);
    Enc1.SetEnabled(MainForm[Control::Enc1].enabled);
    Timer.SetInterval(MainForm.timerInterval);
    Timer.SetEnabled(MainForm[Control::Timer].enabled);

    SerNo.OnClick([this] { SerNo_Click(); });
    Enc1.OnClick([this] { Enc1_Click(); });
    Command1.OnClick([this] { Command1_Click(); });
    Timer.OnTick([this] { Timer_Timer(); });
    // Closing is never refused.
    view_->OnUnload([this] { Unload(); });
}

frmMain::~frmMain() {
    // A window destroyed without being closed still lets go of its device.
    Unload();
}

void frmMain::Load() {
    if (loaded_)
        return;
    loaded_ = true;
    Form_Load();
}

void frmMain::Unload() {
    if (loaded_ && !unloaded_) {
        unloaded_ = true;
        Form_Unload();
    }
}

} // namespace merovane
