// The window as it is created: geometry, captions, fonts, states, tab order.
#include "support/window_scenario.h"
#include "window/window_look.h"

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
    const char* name;
    QWidget* (*widget)(frmMain&);
    QWidget* (*container)(frmMain&);
    int left, top, width, height;
};

QWidget* Window(frmMain& w) {
    return &w;
}
QWidget* Frame1(frmMain& w) {
    return w.Frame1.Widget();
}
QWidget* Frame3(frmMain& w) {
    return w.Frame3.Widget();
}

const Placement Placements[] = {
    {"Command1", [](frmMain& w) -> QWidget* { return w.Command1; }, Window, 600, 3840, 3255, 975},
    {"Frame3", Frame3, Window, 120, 2280, 4095, 1215},
    {"Enc1", [](frmMain& w) -> QWidget* { return w.Enc1.Widget(); }, Frame3, 240, 480, 2520, 360},
    {"Frame1", Frame1, Window, 120, 120, 4095, 1935},
    {"SerNo", [](frmMain& w) -> QWidget* { return w.SerNo.Widget(); }, Frame1, 1800, 1380, 1320,
     360},
    {"lblSerialNumber", [](frmMain& w) -> QWidget* { return w.lblSerialNumber.Widget(); }, Frame1,
     1680, 360, 3300, 330},
    {"lblVersion", [](frmMain& w) -> QWidget* { return w.lblVersion.Widget(); }, Frame1, 1680, 1080,
     3300, 330},
    {"lblProduct", [](frmMain& w) -> QWidget* { return w.lblProduct.Widget(); }, Frame1, 1680, 360,
     3300, 330},
    {"lblManuf", [](frmMain& w) -> QWidget* { return w.lblManuf.Widget(); }, Frame1, 1680, 720,
     3300, 330},
    {"Label2", [](frmMain& w) -> QWidget* { return w.Label2.Widget(); }, Frame1, 240, 1080, 1455,
     285},
    {"Label5", [](frmMain& w) -> QWidget* { return w.Label5.Widget(); }, Frame1, 240, 360, 1215,
     285},
    {"Label4", [](frmMain& w) -> QWidget* { return w.Label4.Widget(); }, Frame1, 240, 720, 1215,
     285},
    {"Label3", [](frmMain& w) -> QWidget* { return w.Label3.Widget(); }, Frame1, 240, 1440, 1815,
     285},
};

TEST_F(WindowLayout, EveryControlSitsInItsContainerAtItsDesignedPlace) {
    Start();
    const double dpi = ScreenDpi();
    for (const Placement& p : Placements) {
        SCOPED_TRACE(p.name);
        QWidget* widget = p.widget(Window());
        EXPECT_EQ(widget->parentWidget(), p.container(Window()));
        EXPECT_EQ(widget->geometry(), TwipsRect(p.left, p.top, p.width, p.height, dpi));
    }
}

TEST_F(WindowLayout, TheWindowIsFixedCentredAndOffersOnlyAClose) {
    Start();
    const double dpi = ScreenDpi();
    const QSize client(TwipsToPixels(4335, dpi), TwipsToPixels(3645, dpi));
    EXPECT_EQ(Window().windowTitle(), "Merovane Config");
    EXPECT_EQ(Window().size(), client);
    EXPECT_EQ(Window().minimumSize(), client);
    EXPECT_EQ(Window().maximumSize(), client);
    const Qt::WindowFlags flags = Window().windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((Window().geometry().center() - screen.center()).manhattanLength(), 2);
    // Command1 lies below the client area.
    EXPECT_GT(Window().Command1->geometry().top(), Window().height());
}

TEST_F(WindowLayout, CaptionsFontsAndScreenReaderNames) {
    Start();
    EXPECT_EQ(Window().Frame1.Widget()->title(), "Device details");
    EXPECT_EQ(Window().Frame3.Widget()->title(), "Output signal");
    EXPECT_EQ(Window().Command1->text(), "Command1");
    EXPECT_EQ(Window().Label2.Caption(), "Version");
    EXPECT_EQ(Window().Label5.Caption(), "Product name");
    EXPECT_EQ(Window().Label4.Caption(), "Made by");
    EXPECT_EQ(Window().Label3.Caption(), "Serial Number");

    EXPECT_EQ(Window().Frame1.Widget()->font().family(), "MS Sans Serif");
    EXPECT_DOUBLE_EQ(Window().Frame3.Widget()->font().pointSizeF(), 9.75);
    for (QWidget* w : {static_cast<QWidget*>(Window().SerNo.Widget()),
                       static_cast<QWidget*>(Window().lblManuf.Widget()),
                       static_cast<QWidget*>(Window().Label3.Widget())}) {
        EXPECT_EQ(w->font().family(), "Arial");
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), 9.75);
        EXPECT_FALSE(w->font().bold());
    }

    EXPECT_EQ(Window().lblProduct.Widget()->accessibleName(), "Product name");
    EXPECT_EQ(Window().lblManuf.Widget()->accessibleName(), "Made by");
    EXPECT_EQ(Window().lblVersion.Widget()->accessibleName(), "Version");
    EXPECT_EQ(Window().SerNo.Widget()->accessibleName(), "Serial Number");
    EXPECT_EQ(Window().Enc1.Widget()->accessibleName(), "Output signal");
}

TEST_F(WindowLayout, ValueLabelsAreTransparentPlainTextAndLieWhereTheDesignPutsThem) {
    Start();
    for (Label* value : {&Window().lblManuf, &Window().lblProduct, &Window().lblVersion,
                         &Window().lblSerialNumber}) {
        EXPECT_FALSE(value->Widget()->autoFillBackground());
        EXPECT_EQ(value->Widget()->textFormat(), Qt::PlainText);
    }
    EXPECT_TRUE(Window().Label3.Widget()->autoFillBackground());

    QWidget* frame = Window().Frame1.Widget();
    // lblProduct lies over lblSerialNumber; the list lies over its caption.
    EXPECT_EQ(frame->childAt(Window().lblProduct.Widget()->geometry().center()),
              Window().lblProduct.Widget());
    const QRect overlap =
        Window().Label3.Widget()->geometry().intersected(Window().SerNo.Widget()->geometry());
    ASSERT_FALSE(overlap.isEmpty());
    QWidget* atOverlap = frame->childAt(overlap.center());
    EXPECT_TRUE(atOverlap == Window().SerNo.Widget() ||
                Window().SerNo.Widget()->isAncestorOf(atOverlap));
}

TEST_F(WindowLayout, WithNoDeviceOnlyCommand1CanTakeTheFocus) {
    Start();
    QApplication::setActiveWindow(&Window());

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

    QTest::keyClick(&Window(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Window().Command1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Window().Command1);
}

TEST_F(WindowLayout, TabGoesFromTheModeListToTheSerialListToTheButtonAndRoundAgain) {
    Plug(Divider(u"T1"));
    Plug(Divider(u"T2"));
    Start();
    QApplication::setActiveWindow(&Window());
    ASSERT_TRUE(TakesInput(Window().SerNo));
    ASSERT_TRUE(TakesInput(Window().Enc1));

    Window().Enc1.Widget()->setFocus();
    std::vector<QWidget*> visited;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(visited, (std::vector<QWidget*>{Window().SerNo.Widget(), Window().Command1,
                                              Window().Enc1.Widget()}));
}

TEST_F(WindowLayout, TheIconComesInTwoSizesOfSixteenColours) {
    Start();
    const QIcon icon = Window().windowIcon();
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
