// The window as it is created: fixed size with a close button only, centred,
// the controls at their designed places (in twips, converted at the screen's
// logical resolution), captions, fonts, colours, tab order and first states.
#include "window/frm_main.h"
#include "window/window_look.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

namespace merovane {

namespace {

constexpr int ClientWidth = 4335; // twips
constexpr int ClientHeight = 3645;
constexpr int TimerInterval = 50; // ms, until the first probe

// A value label: text in the window-text colour on a background that is set
// to the window colour but never drawn, so the frame shows through.
void ShapeValueLabel(Label& label, const QString& accessibleName) {
    QLabel* widget = label.Widget();
    widget->setAutoFillBackground(false);
    widget->setForegroundRole(QPalette::Text);
    widget->setBackgroundRole(QPalette::Base);
    widget->setAccessibleName(accessibleName);
}

// A caption label: button text on a drawn button-face background.
void ShapeCaptionLabel(Label& label, const char* caption) {
    QLabel* widget = label.Widget();
    widget->setAutoFillBackground(true);
    widget->setBackgroundRole(QPalette::Button);
    widget->setForegroundRole(QPalette::ButtonText);
    label.SetCaption(caption);
}

} // namespace

void frmMain::BuildForm() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
    const auto place = [dpi](QWidget* widget, int left, int top, int width, int height) {
        widget->setGeometry(TwipsRect(left, top, width, height, dpi));
    };

    setObjectName("frmMain");
    setWindowTitle("Merovane Config");
    setWindowIcon(WindowIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    const QSize client(TwipsToPixels(ClientWidth, dpi), TwipsToPixels(ClientHeight, dpi));
    setFixedSize(client);
    if (screen != nullptr)
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, client,
                                        screen->availableGeometry()));

    // Below the client area: never seen, yet reachable with Tab.
    place(Command1, 600, 3840, 3255, 975);
    Command1->setText("Command1");
    Command1->setAutoDefault(false);
    Command1->setDefault(false);

    place(Frame3.Widget(), 120, 2280, 4095, 1215);
    Frame3.Widget()->setTitle("Output signal");
    place(Enc1.Widget(), 240, 480, 2520, 360);
    place(Frame1.Widget(), 120, 120, 4095, 1935);
    Frame1.Widget()->setTitle("Device details");
    place(SerNo.Widget(), 1800, 1380, 1320, 360);
    // lblSerialNumber lies beneath lblProduct, in the same rectangle, and is never written.
    place(lblSerialNumber.Widget(), 1680, 360, 3300, 330);
    place(lblVersion.Widget(), 1680, 1080, 3300, 330);
    place(lblProduct.Widget(), 1680, 360, 3300, 330);
    place(lblManuf.Widget(), 1680, 720, 3300, 330);
    place(Label2.Widget(), 240, 1080, 1455, 285);
    place(Label5.Widget(), 240, 360, 1215, 285);
    place(Label4.Widget(), 240, 720, 1215, 285);
    place(Label3.Widget(), 240, 1440, 1815, 285);
    // Labels are drawn on their frame, beneath its lists.
    SerNo.Widget()->raise();

    for (Frame* frame : {&Frame1, &Frame3})
        frame->Widget()->setFont(FrameFont());
    for (DropDownList* list : {&SerNo, &Enc1})
        list->Widget()->setFont(ListAndLabelFont());
    for (Label* label : {&lblSerialNumber, &lblVersion, &lblProduct, &lblManuf, &Label2, &Label5,
                         &Label4, &Label3}) {
        label->Widget()->setFont(ListAndLabelFont());
        label->Widget()->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->Widget()->setWordWrap(false);
    }
    Command1->setFont(QFont());

    ShapeValueLabel(lblManuf, "Made by");
    ShapeValueLabel(lblProduct, "Product name");
    ShapeValueLabel(lblVersion, "Version");
    ShapeValueLabel(lblSerialNumber, "Serial Number");
    ShapeCaptionLabel(Label2, "Version");
    ShapeCaptionLabel(Label5, "Product name");
    ShapeCaptionLabel(Label4, "Made by");
    ShapeCaptionLabel(Label3, "Serial Number");
    SerNo.Widget()->setAccessibleName("Serial Number");
    Enc1.Widget()->setAccessibleName("Output signal");

    // Only the lists and the button take the focus; frames and labels never do.
    for (QWidget* passive : std::initializer_list<QWidget*>{
             Frame1.Widget(), Frame3.Widget(), lblSerialNumber.Widget(), lblVersion.Widget(),
             lblProduct.Widget(), lblManuf.Widget(), Label2.Widget(), Label5.Widget(),
             Label4.Widget(), Label3.Widget()})
        passive->setFocusPolicy(Qt::NoFocus);
    Command1->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(Enc1.Widget(), SerNo.Widget());
    setTabOrder(SerNo.Widget(), Command1);

    Frame1.SetEnabled(false);
    Frame3.SetEnabled(false);
    SerNo.SetEnabled(false);
    Enc1.SetEnabled(false);
    Timer.SetInterval(TimerInterval);
    Timer.SetEnabled(false);
}

} // namespace merovane
