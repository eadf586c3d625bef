// Units the program's logic speaks: twips for lengths (15 to the pixel) and
// colour values (red + 256·green + 65536·blue).
#pragma once

#include <cmath>

#include "core/picture.h"

namespace platform {

inline constexpr float kTwipsPerPixel = 15.0f;

// Whole pixels for a length in twips, to the nearest pixel.
inline int to_pixels(float twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

inline float to_twips(int pixels) { return static_cast<float>(pixels) * kTwipsPerPixel; }

// The colour value of red, green and blue, and its three parts. A colour
// value is never negative: taken as unsigned, the parts cost a shift and a
// mask each.
constexpr int colour_value(int red, int green, int blue) { return red + 256 * green + 65536 * blue; }
constexpr int red_of_value(int colour) { return static_cast<int>(static_cast<unsigned>(colour) % 256); }
constexpr int green_of_value(int colour) { return static_cast<int>(static_cast<unsigned>(colour) / 256 % 256); }
constexpr int blue_of_value(int colour) { return static_cast<int>(static_cast<unsigned>(colour) / 65536 % 256); }

// Between colour values and a picture's pixels (opaque).
constexpr int colour_value(core::Argb pixel) {
    return colour_value(core::red_of(pixel), core::green_of(pixel), core::blue_of(pixel));
}
constexpr core::Argb pixel_of(int colour) {
    return core::argb(red_of_value(colour), green_of_value(colour), blue_of_value(colour));
}

}  // namespace platform
