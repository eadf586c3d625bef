// A picture as the main window shows it when it is the window's background
// picture: drawn at its natural size over the window's background colour, at
// full 24-bit colour. The converter reads its pixels off the window; a tool
// without a window composes the same thing here, and so writes the same bytes
// for transparent and half-transparent pixels too.
#pragma once

#include <QColor>
#include <QImage>
#include <string>

namespace conversion {

// The colour the main window's drawing surface shows where no picture covers
// it: the application palette's window colour, as every plain widget gets it.
QColor window_background_colour();

// `picture` drawn over `background` the way the drawing surface composes its
// layers; the result is opaque and as large as the picture.
QImage picture_as_shown(const QImage& picture, const QColor& background);

// The pixel bytes of a ZFT file for `shown`: rows from the top, each pixel
// red, green, blue. Any alpha is ignored, so compose first.
std::string pixel_bytes(const QImage& shown);

}  // namespace conversion
