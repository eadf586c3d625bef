// A picture as the main window shows it when it is the window's background
// picture: drawn at its natural size over the window's background colour, at
// full 24-bit colour. The converter reads its pixels off the window; a tool
// without a window composes the same thing here, and so writes the same bytes
// for transparent and half-transparent pixels too.
#pragma once

#include <QColor>
#include <QImage>

namespace conversion {

// The colour the main window's drawing surface shows where no picture covers
// it: the application palette's window colour, as every plain widget gets it.
QColor window_background_colour();

// `picture` drawn over `background` the way the drawing surface composes its
// layers; the result is opaque and as large as the picture.
QImage picture_as_shown(const QImage& picture, const QColor& background);

// The pixel bytes of row `y` of a ZFT file for `shown`, 3 × width of them
// into `out`: each pixel red, green, blue, left to right. `shown` must be
// Format_RGB32, as picture_as_shown gives it.
void pixel_row(const QImage& shown, int y, char* out);

}  // namespace conversion
