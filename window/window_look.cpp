#include "window/window_look.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QPixmap>
#include <cmath>

// The icons are compiled into this static library: register them with Qt.
static void RegisterResources() {
    Q_INIT_RESOURCE(resources);
}

namespace merovane {

namespace {

constexpr double DesignedPointSize = 9.75;
constexpr const char* WineSansSerif = "/usr/share/wine/fonts/ms_sans_serif.ttf";

QFont DesignedFont(const char* family) {
    QFont font(family);
    font.setPointSizeF(DesignedPointSize);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace

int TwipsToPixels(int twips, double dotsPerInch) {
    return static_cast<int>(std::lround(twips * dotsPerInch / TwipsPerInch));
}

QRect TwipsRect(int left, int top, int width, int height, double dotsPerInch) {
    return QRect(TwipsToPixels(left, dotsPerInch), TwipsToPixels(top, dotsPerInch),
                 TwipsToPixels(width, dotsPerInch), TwipsToPixels(height, dotsPerInch));
}

void InstallFontFallbacks() {
    if (!QFontDatabase::hasFamily("MS Sans Serif") && QFileInfo::exists(WineSansSerif))
        QFontDatabase::addApplicationFont(WineSansSerif);
    for (const char* family : {"MS Sans Serif", "Arial"}) {
        if (!QFontDatabase::hasFamily(family))
            QFont::insertSubstitutions(family, {"Liberation Sans", "Arimo", "DejaVu Sans"});
    }
}

QFont FrameFont() {
    return DesignedFont("MS Sans Serif");
}

QFont ListAndLabelFont() {
    return DesignedFont("Arial");
}

QIcon WindowIcon() {
    RegisterResources();
    QIcon icon;
    icon.addPixmap(QPixmap(":/merovane/icon-32.xpm"));
    icon.addPixmap(QPixmap(":/merovane/icon-16.xpm"));
    return icon;
}

} // namespace merovane
