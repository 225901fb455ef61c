// How the window looks on this screen: twips to pixels, the fonts with their
// fallbacks, and the icon.
#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>

namespace merovane {

inline constexpr int TwipsPerInch = 1440;

// Twips (1440 to the inch) to pixels at dotsPerInch, rounded to the nearest.
int TwipsToPixels(int twips, double dotsPerInch);
// A rectangle given in twips, in pixels.
QRect TwipsRect(int left, int top, int width, int height, double dotsPerInch);

// Makes the designed font families available or substituted: "MS Sans Serif"
// from Debian's fonts-wine when installed, "Arial" by its metric-compatible
// Liberation Sans. Call once after the application object exists.
void InstallFontFallbacks();

// The frames' captions: "MS Sans Serif", 9.75 pt.
QFont FrameFont();
// Lists and labels: "Arial", 9.75 pt.
QFont ListAndLabelFont();

// The window's icon: 32 x 32 and 16 x 16 pixels, 16 colours.
QIcon WindowIcon();

} // namespace merovane
