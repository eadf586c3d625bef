#include "core/compose.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace core {
namespace {

// c·a + under·(255 − a), divided by 255 and rounded to the nearest, without
// a division: exact for every 8-bit input.
inline Argb blend_channel(unsigned c, unsigned under, unsigned a) {
    const unsigned t = c * a + under * (255 - a) + 128;
    return (t + (t >> 8)) >> 8;
}

inline Argb over(Argb c, Argb under) {
    const unsigned a = c >> 24;
    if (a == 255)
        return c;
    if (a == 0)
        return under;
    return 0xFF000000u | blend_channel(c >> 16 & 0xFF, under >> 16 & 0xFF, a) << 16 |
           blend_channel(c >> 8 & 0xFF, under >> 8 & 0xFF, a) << 8 | blend_channel(c & 0xFF, under & 0xFF, a);
}

// The part of `a` that lies in `b` too; empty ones have no width or height.
Rect intersected(Rect a, Rect b) {
    const int left = std::max(a.left, b.left);
    const int top = std::max(a.top, b.top);
    const int right = std::min(a.left + a.width, b.left + b.width);
    const int bottom = std::min(a.top + a.height, b.top + b.height);
    return {left, top, std::max(0, right - left), std::max(0, bottom - top)};
}

}  // namespace

void compose(Argb* target, std::ptrdiff_t stride, Rect clip, Argb background, std::span<const Layer> layers) {
    const Argb opaqueBackground = background | 0xFF000000u;
    // Where an opaque picture covers the clip, the colour never shows: it
    // goes only where the first picture leaves the clip uncovered.
    Rect covered{clip.left, clip.top, 0, 0};
    if (!layers.empty() && !layers.front().picture->isNull() && !layers.front().picture->hasAlpha()) {
        const Layer& first = layers.front();
        covered = intersected(clip, {first.left, first.top, std::min(first.shown.width, first.picture->width()),
                                     std::min(first.shown.height, first.picture->height())});
    }
    for (int y = clip.top; y < clip.top + clip.height; ++y) {
        Argb* line = target + y * stride;
        if (covered.width == 0 || y < covered.top || y >= covered.top + covered.height) {
            std::fill_n(line + clip.left, clip.width, opaqueBackground);
            continue;
        }
        std::fill(line + clip.left, line + covered.left, opaqueBackground);
        std::fill(line + covered.left + covered.width, line + clip.left + clip.width, opaqueBackground);
    }
    for (const Layer& layer : layers) {
        const Picture& picture = *layer.picture;
        if (picture.isNull())
            continue;
        const Rect placed{layer.left, layer.top, std::min(layer.shown.width, picture.width()),
                          std::min(layer.shown.height, picture.height())};
        const Rect r = intersected(clip, placed);
        for (int y = r.top; y < r.top + r.height; ++y) {
            const Argb* from = picture.row(y - layer.top) + (r.left - layer.left);
            Argb* to = target + y * stride + r.left;
            if (!picture.hasAlpha()) {
                std::memcpy(to, from, sizeof(Argb) * static_cast<std::size_t>(r.width));
                continue;
            }
            for (int x = 0; x < r.width; ++x)
                to[x] = over(from[x], to[x]);
        }
    }
}

void compose_row(Argb* row, int width, Argb background) {
    // Most rows are opaque: one pass that the compiler vectorises finds out.
    Argb all = 0xFF000000u;
    for (int x = 0; x < width; ++x)
        all &= row[x];
    if (all >= 0xFF000000u)
        return;
    const Argb opaqueBackground = background | 0xFF000000u;
    for (int x = 0; x < width; ++x)
        row[x] = over(row[x], opaqueBackground);
}

Picture picture_as_shown(const Picture& picture, Argb background) {
    if (picture.isNull() || !picture.hasAlpha())
        return picture;
    Picture shown(picture.width(), picture.height());
    const Layer layer{&picture, 0, 0, picture.size()};
    compose(shown.row(0), picture.width(), {0, 0, picture.width(), picture.height()}, background, {&layer, 1});
    return shown;
}

}  // namespace core
