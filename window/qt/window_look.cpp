#include "window/qt/window_look.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QPixmap>

// The icons are compiled into this static library: register them with Qt.
static void RegisterResources() {
    Q_INIT_RESOURCE(resources);
}

namespace merovane {

namespace {

constexpr const char* WineSansSerif = "/usr/share/wine/fonts/ms_sans_serif.ttf";

} // namespace

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

QFont DesignedFont(const FontLayout& layout) {
    if (layout.family == nullptr)
        return QFont();
    QFont font(layout.family);
    font.setPointSizeF(layout.points);
    font.setWeight(static_cast<QFont::Weight>(layout.weight));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QIcon WindowIcon() {
    RegisterResources();
    QIcon icon;
    icon.addPixmap(QPixmap(":/merovane/icon-32.xpm"));
    icon.addPixmap(QPixmap(":/merovane/icon-16.xpm"));
    return icon;
}

} // namespace merovane
