// Composing pictures as the main window shows them: the window's background
// colour, then pictures over it, back to front, at one screen pixel per
// picture pixel. The window's drawing surface composes what it shows here,
// and a tool without a window composes a picture here the same way, so both
// write the same bytes for transparent and half-transparent pixels too.
#pragma once

#include <cstddef>
#include <span>

#include "core/picture.h"

namespace core {

// The window colour of Qt's own palette: what the main window shows where no
// picture covers it on a desktop without a theme of its own, and what a tool
// without a window gives transparent pixels unless told another colour.
// Under a theme the window shows the theme's window colour instead.
inline constexpr Argb kWindowColour = argb(239, 239, 239);

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// A picture placed on the surface: its top-left corner at (left, top), and
// of it no more than `shown` from that corner (a picture area smaller than
// its picture crops it).
struct Layer {
    const Picture* picture;
    int left;
    int top;
    Size shown;
};

// Paints `clip` of `target` (rows `stride` pixels apart, each pixel opaque
// 0xFFRRGGBB afterwards): `background`, then the layers back to front. Pixels
// less than opaque are blended over what lies under them.
void compose(Argb* target, std::ptrdiff_t stride, Rect clip, Argb background, std::span<const Layer> layers);

// `width` pixels of a row as the window shows them over `background`,
// each opaque afterwards.
void compose_row(Argb* row, int width, Argb background);

// `picture` as the window shows it over `background`: opaque, as large as the
// picture. An opaque picture is given back as it is, shared, not copied.
Picture picture_as_shown(const Picture& picture, Argb background);

}  // namespace core
