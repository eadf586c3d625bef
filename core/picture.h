// Decoded pictures, as the decoders give them, the windows show them and the
// converters write them: plain pixels in memory, no toolkit involved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace core {

// A colour with its opacity, 0xAARRGGBB in one word: Qt's QRgb, so a window
// can show a picture's rows as they are.
using Argb = std::uint32_t;

constexpr Argb argb(int red, int green, int blue, int alpha = 255) {
    return static_cast<Argb>(alpha) << 24 | static_cast<Argb>(red) << 16 | static_cast<Argb>(green) << 8 |
           static_cast<Argb>(blue);
}
constexpr int alpha_of(Argb c) { return static_cast<int>(c >> 24); }
constexpr int red_of(Argb c) { return static_cast<int>(c >> 16 & 0xFF); }
constexpr int green_of(Argb c) { return static_cast<int>(c >> 8 & 0xFF); }
constexpr int blue_of(Argb c) { return static_cast<int>(c & 0xFF); }

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(Size, Size) = default;
};

// width × height pixels, rows from the top, each row from the left. Copies
// share the pixels; writing to a shared picture copies them first.
class Picture {
public:
    // The empty picture: it shows nothing.
    Picture() = default;
    // Every pixel `fill`: nothing in a picture is ever left undefined.
    Picture(int width, int height, Argb fill = argb(0, 0, 0));

    bool isNull() const { return !pixels_; }
    int width() const { return size_.width; }
    int height() const { return size_.height; }
    Size size() const { return size_; }

    const Argb* row(int y) const { return pixels_.get() + static_cast<std::size_t>(y) * size_.width; }
    Argb* row(int y);
    Argb pixel(int x, int y) const { return row(y)[x]; }

    // Whether any pixel may be less than opaque. A picture without alpha
    // covers what lies under it, so composing it is a plain copy.
    bool hasAlpha() const { return hasAlpha_; }
    void setHasAlpha(bool hasAlpha) { hasAlpha_ = hasAlpha; }

    friend bool operator==(const Picture& a, const Picture& b);

private:
    Size size_;
    bool hasAlpha_ = false;
    std::shared_ptr<Argb[]> pixels_;
};

// Memory for `count` pixels, uninitialised. Large blocks come in the
// processor's large pages where the system offers them: a 999 × 999 picture
// then costs two or three page faults instead of a thousand, which is most
// of the time a conversion takes.
std::shared_ptr<Argb[]> allocate_pixels(std::size_t count);

// A row of pixels to and from the bytes that files and other programs hold
// pixels in: red, green and blue, each a byte, and with `channels` 4 a
// straight alpha after them. rgb_bytes() does not look at alpha: the pixels
// are as shown.
void rgb_bytes(const Argb* pixels, int width, std::uint8_t* out);
void pixels_of(const std::uint8_t* bytes, int width, int channels, Argb* out);

// The largest size within `box` with the proportions of `size`, never below
// one pixel a side; a size already within `box` stays as it is.
Size fit_within(Size size, Size box);

}  // namespace core
