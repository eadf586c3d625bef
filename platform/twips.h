// Units the program's logic speaks: twips for lengths (15 to the pixel) and
// colour values (red + 256·green + 65536·blue).
#pragma once

#include <QColor>
#include <QRgb>
#include <cmath>

namespace platform {

inline constexpr float kTwipsPerPixel = 15.0f;

// Whole pixels for a length in twips, to the nearest pixel.
inline int toPixels(float twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

// The pixel a point in twips falls in.
inline int pixelAt(float twips) { return static_cast<int>(std::floor(twips / kTwipsPerPixel)); }

inline float toTwips(int pixels) { return static_cast<float>(pixels) * kTwipsPerPixel; }

inline int colourValue(QRgb rgb) { return qRed(rgb) | (qGreen(rgb) << 8) | (qBlue(rgb) << 16); }

inline QRgb rgbOf(int colour) {
    return qRgb(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

}  // namespace platform
