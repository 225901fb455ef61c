// The window as it is created: geometry, captions, fonts, states, tab order.
#include "support/window_scenario.h"
#include "window/qt/qt_form.h"
#include "window/qt/window_look.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

namespace merovane::test {
namespace {

using WindowLayout = WindowScenario;

double ScreenDpi() {
    return QGuiApplication::primaryScreen()->logicalDotsPerInch();
}

TEST(TwipsToPixels, FifteenTwipsMakeAPixelAt96DotsPerInch) {
    EXPECT_EQ(TwipsToPixels(4335, 96), 289);
    EXPECT_EQ(TwipsToPixels(3645, 96), 243);
    EXPECT_EQ(TwipsToPixels(15, 96), 1);
    EXPECT_EQ(TwipsToPixels(1440, 120), 120);
    EXPECT_EQ(TwipsToPixels(4335, 144), 434); // 433.5 rounds up
    EXPECT_EQ(TwipsRect(120, 2280, 4095, 1215, 96), QRect(8, 152, 273, 81));
}

struct Placement {
    Control id;
    std::optional<Control> frame;
    int left, top, width, height;
};

using enum Control;
constexpr std::optional<Control> InWindow;

const Placement Placements[] = {
    {Command1, InWindow, 600, 3840, 3255, 975},  {Frame3, InWindow, 120, 2280, 4095, 1215},
    {Enc1, Frame3, 240, 480, 2520, 360},         {Frame1, InWindow, 120, 120, 4095, 1935},
    {SerNo, Frame1, 1800, 1380, 1320, 360},      {lblSerialNumber, Frame1, 1680, 360, 3300, 330},
    {lblVersion, Frame1, 1680, 1080, 3300, 330}, {lblProduct, Frame1, 1680, 360, 3300, 330},
    {lblManuf, Frame1, 1680, 720, 3300, 330},    {Label2, Frame1, 240, 1080, 1455, 285},
    {Label5, Frame1, 240, 360, 1215, 285},       {Label4, Frame1, 240, 720, 1215, 285},
    {Label3, Frame1, 240, 1440, 1815, 285},
};

QtForm& Form(frmMain& window) {
    return dynamic_cast<QtForm&>(window.View());
}

// The Qt widget of a control.
QWidget* W(frmMain& window, Control id) {
    return Form(window).Widget(id);
}

TEST_F(WindowLayout, EveryControlSitsInItsContainerAtItsDesignedPlace) {
    Start();
    const double dpi = ScreenDpi();
    for (const Placement& p : Placements) {
        SCOPED_TRACE(MainForm[p.id].name);
        QWidget* widget = W(Window(), p.id);
        EXPECT_EQ(widget->parentWidget(), p.frame ? W(Window(), *p.frame) : &Form(Window()));
        EXPECT_EQ(widget->geometry(), TwipsRect(p.left, p.top, p.width, p.height, dpi));
    }
}

TEST_F(WindowLayout, TheWindowIsFixedCentredAndOffersOnlyAClose) {
    Start();
    const double dpi = ScreenDpi();
    const QSize client(TwipsToPixels(4335, dpi), TwipsToPixels(3645, dpi));
    EXPECT_EQ(Form(Window()).windowTitle(), "Merovane Config");
    EXPECT_EQ(Form(Window()).size(), client);
    EXPECT_EQ(Form(Window()).minimumSize(), client);
    EXPECT_EQ(Form(Window()).maximumSize(), client);
    const Qt::WindowFlags flags = Form(Window()).windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((Form(Window()).geometry().center() - screen.center()).manhattanLength(), 2);
    // Command1 lies below the client area.
    EXPECT_GT(W(Window(), Command1)->geometry().top(), Form(Window()).height());
}

TEST_F(WindowLayout, CaptionsFontsAndScreenReaderNames) {
    Start();
    EXPECT_EQ(static_cast<QGroupBox*>(W(Window(), Frame1))->title(), "Device details");
    EXPECT_EQ(static_cast<QGroupBox*>(W(Window(), Frame3))->title(), "Output signal");
    EXPECT_EQ(static_cast<QPushButton*>(W(Window(), Command1))->text(), "Command1");
    EXPECT_EQ(Window().Label2.Caption(), "Version");
    EXPECT_EQ(Window().Label5.Caption(), "Product name");
    EXPECT_EQ(Window().Label4.Caption(), "Made by");
    EXPECT_EQ(Window().Label3.Caption(), "Serial Number");

    EXPECT_EQ(W(Window(), Frame1)->font().family(), "MS Sans Serif");
    EXPECT_DOUBLE_EQ(W(Window(), Frame3)->font().pointSizeF(), 9.75);
    for (QWidget* w :
         {static_cast<QWidget*>(W(Window(), SerNo)), static_cast<QWidget*>(W(Window(), lblManuf)),
          static_cast<QWidget*>(W(Window(), Label3))}) {
        EXPECT_EQ(w->font().family(), "Arial");
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), 9.75);
        EXPECT_FALSE(w->font().bold());
    }

    EXPECT_EQ(W(Window(), lblProduct)->accessibleName(), "Product name");
    EXPECT_EQ(W(Window(), lblManuf)->accessibleName(), "Made by");
    EXPECT_EQ(W(Window(), lblVersion)->accessibleName(), "Version");
    EXPECT_EQ(W(Window(), SerNo)->accessibleName(), "Serial Number");
    EXPECT_EQ(W(Window(), Enc1)->accessibleName(), "Output signal");
}

TEST_F(WindowLayout, ValueLabelsAreTransparentPlainTextAndLieWhereTheDesignPutsThem) {
    Start();
    for (Control value : {lblManuf, lblProduct, lblVersion, lblSerialNumber}) {
        const auto* label = static_cast<QLabel*>(W(Window(), value));
        EXPECT_FALSE(label->autoFillBackground());
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
    }
    EXPECT_TRUE(W(Window(), Label3)->autoFillBackground());

    QWidget* frame = W(Window(), Frame1);
    // lblProduct lies over lblSerialNumber; the list lies over its caption.
    EXPECT_EQ(frame->childAt(W(Window(), lblProduct)->geometry().center()),
              W(Window(), lblProduct));
    const QRect overlap =
        W(Window(), Label3)->geometry().intersected(W(Window(), SerNo)->geometry());
    ASSERT_FALSE(overlap.isEmpty());
    QWidget* atOverlap = frame->childAt(overlap.center());
    EXPECT_TRUE(atOverlap == W(Window(), SerNo) || W(Window(), SerNo)->isAncestorOf(atOverlap));
}

TEST_F(WindowLayout, WithNoDeviceOnlyCommand1CanTakeTheFocus) {
    Start();
    QApplication::setActiveWindow(&Form(Window()));

    EXPECT_FALSE(Window().Frame1.Enabled());
    EXPECT_FALSE(Window().Frame3.Enabled());
    EXPECT_FALSE(TakesInput(Window().SerNo));
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_EQ(Window().lblManuf.Caption(), "");
    EXPECT_EQ(Window().lblProduct.Caption(), "");
    EXPECT_EQ(Window().lblVersion.Caption(), "");
    EXPECT_EQ(Window().lblSerialNumber.Caption(), "");
    EXPECT_EQ(Window().Timer.Interval(), 50);
    EXPECT_TRUE(Window().Timer.Enabled());

    QTest::keyClick(&Form(Window()), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), W(Window(), Command1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), W(Window(), Command1));
}

TEST_F(WindowLayout, TabGoesFromTheModeListToTheSerialListToTheButtonAndRoundAgain) {
    Plug(Divider(u"T1"));
    Plug(Divider(u"T2"));
    Start();
    QApplication::setActiveWindow(&Form(Window()));
    ASSERT_TRUE(TakesInput(Window().SerNo));
    ASSERT_TRUE(TakesInput(Window().Enc1));

    W(Window(), Enc1)->setFocus();
    std::vector<QWidget*> visited;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(visited, (std::vector<QWidget*>{W(Window(), SerNo), W(Window(), Command1),
                                              W(Window(), Enc1)}));
}

TEST_F(WindowLayout, TheIconComesInTwoSizesOfSixteenColours) {
    Start();
    const QIcon icon = Form(Window()).windowIcon();
    for (int size : {16, 32}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        std::set<QRgb> colours;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                colours.insert(image.pixel(x, y));
        EXPECT_LE(colours.size(), 16u);
        EXPECT_GE(colours.size(), 4u); // a picture, not a blank
    }
}

} // namespace
} // namespace merovane::test
