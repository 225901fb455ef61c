// How the window looks on this screen in Qt: rectangles in pixels, the fonts
// in scalable families, and the icon.
#pragma once

#include "window/form_layout.h"

#include <QFont>
#include <QIcon>
#include <QRect>

namespace merovane {

// A rectangle given in twips, in pixels.
QRect TwipsRect(int left, int top, int width, int height, double dotsPerInch);

// The font a layout asks for, in a scalable family: the designed one where it
// is installed with outlines, else its scalable twin, else a sans serif of
// Arial's metrics (Liberation Sans). The application's font when it names none.
QFont DesignedFont(const FontLayout& layout);

// The window's icon: 32 x 32 and 16 x 16 pixels, 16 colours.
QIcon WindowIcon();

} // namespace merovane
