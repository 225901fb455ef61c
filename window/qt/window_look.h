// How the window looks on this screen in Qt: rectangles in pixels, the fonts
// with their fallbacks, and the icon.
#pragma once

#include "window/form_layout.h"

#include <QFont>
#include <QIcon>
#include <QRect>

namespace merovane {

// A rectangle given in twips, in pixels.
QRect TwipsRect(int left, int top, int width, int height, double dotsPerInch);

// Makes the designed font families available or substituted: "MS Sans Serif"
// from Debian's fonts-wine when installed, "Arial" by its metric-compatible
// Liberation Sans. Call once after the application object exists.
void InstallFontFallbacks();

// The font a layout asks for; the application's font when it names none.
QFont DesignedFont(const FontLayout& layout);

// The window's icon: 32 x 32 and 16 x 16 pixels, 16 colours.
QIcon WindowIcon();

} // namespace merovane
