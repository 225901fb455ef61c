#include "window/qt/window_look.h"

#include <QFontDatabase>
#include <QPixmap>

// The icons are compiled into this static library: register them with Qt.
static void RegisterResources() {
    Q_INIT_RESOURCE(resources);
}

namespace merovane {

namespace {

// Scalable sans-serif families with Arial's metrics, which "MS Sans Serif"
// shares closely, then one of other metrics that Debian always has.
constexpr const char* Fallbacks[] = {"Liberation Sans", "Arimo", "DejaVu Sans"};

// Installed with outlines: it draws well at any size and display scale. Some
// families hold bitmaps only, such as Wine's "MS Sans Serif" (fonts-wine).
bool Scalable(const char* family) {
    return family != nullptr && QFontDatabase::hasFamily(family) &&
           QFontDatabase::isSmoothlyScalable(family);
}

QString DrawnFamily(const FontLayout& layout) {
    if (Scalable(layout.family))
        return layout.family;
    if (Scalable(layout.scalableFamily))
        return layout.scalableFamily;
    for (const char* family : Fallbacks)
        if (Scalable(family))
            return family;
    return layout.scalableFamily;
}

} // namespace

QRect TwipsRect(int left, int top, int width, int height, double dotsPerInch) {
    return QRect(TwipsToPixels(left, dotsPerInch), TwipsToPixels(top, dotsPerInch),
                 TwipsToPixels(width, dotsPerInch), TwipsToPixels(height, dotsPerInch));
}

QFont DesignedFont(const FontLayout& layout) {
    if (layout.family == nullptr)
        return QFont();
    QFont font(DrawnFamily(layout));
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
