// The Qt window as it is created: its parents, frame, captions, fonts, looks
// and icon.
#include "support/window_scenario.h"
#include "window/qt/qt_form.h"
#include "window/qt/window_look.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QScreen>

namespace merovane::test {
namespace {

using WindowLayout = WindowScenario;
using enum Control;

double ScreenDpi() {
    return QGuiApplication::primaryScreen()->logicalDotsPerInch();
}

QtForm& Form(frmMain& window) {
    return dynamic_cast<QtForm&>(window.View());
}

// The font's glyphs come from outlines, not from bitmaps of a few sizes.
bool DrawnScalably(const QFont& font) {
    const QFontInfo drawn(font);
    return QFontDatabase::isSmoothlyScalable(drawn.family(), drawn.styleName());
}

// The Qt widget of a control.
QWidget* W(frmMain& window, Control id) {
    return Form(window).Widget(id);
}

TEST(TwipsRect, FifteenTwipsMakeAPixelAt96DotsPerInch) {
    EXPECT_EQ(TwipsRect(120, 2280, 4095, 1215, 96), QRect(8, 152, 273, 81));
}

TEST_F(WindowLayout, EveryControlIsAChildOfItsContainer) {
    Start();
    for (const ControlLayout& control : MainForm.controls) {
        if (control.kind == ControlKind::Timer)
            continue;
        SCOPED_TRACE(control.name);
        EXPECT_EQ(W(Window(), control.id)->parentWidget(),
                  control.frame ? W(Window(), *control.frame) : &Form(Window()));
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
TEST_F(WindowLayout, CaptionsAndFonts) {
    Start();
    EXPECT_EQ(static_cast<QGroupBox*>(W(Window(), Frame1))->title(), "Device details");
    EXPECT_EQ(static_cast<QGroupBox*>(W(Window(), Frame3))->title(), "Output signal");
    EXPECT_EQ(static_cast<QPushButton*>(W(Window(), Command1))->text(), "Command1");
    EXPECT_EQ(Window().Label2.Caption(), "Version");
    EXPECT_EQ(Window().Label5.Caption(), "Product name");
    EXPECT_EQ(Window().Label4.Caption(), "Made by");
    EXPECT_EQ(Window().Label3.Caption(), "Serial Number");

    for (Control id : {Frame1, Frame3, SerNo, Enc1, lblManuf, Label3}) {
        SCOPED_TRACE(MainForm[id].name);
        const QFont font = W(Window(), id)->font();
        EXPECT_DOUBLE_EQ(font.pointSizeF(), 9.75);
        EXPECT_FALSE(font.bold());
        EXPECT_TRUE(DrawnScalably(font)) << QFontInfo(font).family().toStdString();
    }
}

// Wine's "MS Sans Serif" (fonts-wine) holds bitmaps only, as the design's
// does on Windows 10 and 11: where it is installed, the frames' captions are
// drawn in a scalable sans serif all the same.
TEST(DesignedFont, IsScalableWhereTheDesignedFamilyHoldsBitmapsOnly) {
    const int wine = QFontDatabase::addApplicationFont("/usr/share/wine/fonts/ms_sans_serif.ttf");
    if (wine < 0)
        GTEST_SKIP() << "fonts-wine is not installed";
    ASSERT_TRUE(QFontDatabase::hasFamily("MS Sans Serif"));
    EXPECT_FALSE(QFontDatabase::isSmoothlyScalable("MS Sans Serif"));
    EXPECT_TRUE(DrawnScalably(DesignedFont(*MainForm[Frame1].font)));
    QFontDatabase::removeApplicationFont(wine);
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
TEST_F(WindowLayout, TheIconComesInTwoSizesOfSixteenColours) {
    Start();
    const QIcon icon = Form(Window()).windowIcon();
    for (int size : {16, 32}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QImage image = icon.pixmap(QSize(size, size), 1.0).toImage();
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
