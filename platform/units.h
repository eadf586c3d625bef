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

// The colour value of red, green and blue.
constexpr int colour_value(int red, int green, int blue) { return red + 256 * green + 65536 * blue; }

// Between colour values and a picture's pixels (opaque). A colour value
// holds red, green and blue from its low byte up, a pixel from its high
// byte down: the one is the other's bytes in reverse, one instruction where
// the surface reads and paints a million points.
constexpr int colour_value(core::Argb pixel) { return static_cast<int>(__builtin_bswap32(pixel) >> 8); }
constexpr core::Argb pixel_of(int colour) {
    return 0xFF000000u | __builtin_bswap32(static_cast<std::uint32_t>(colour) & 0xFFFFFFu) >> 8;
}
static_assert(colour_value(core::argb(1, 2, 3)) == colour_value(1, 2, 3));
static_assert(pixel_of(colour_value(1, 2, 3)) == core::argb(1, 2, 3));

}  // namespace platform
