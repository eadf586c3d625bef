// Reading picture files (JPEG, GIF, BMP and PNG, told apart by their first
// bytes, whatever their names) into pictures, through the project's own
// decoders.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/compose.h"
#include "core/failure.h"
#include "core/picture.h"

namespace core {

// The most pixels a picture to be scaled down may have: it is read row by
// row, or decoded at a reduced scale, but a larger one is refused unread.
inline constexpr std::int64_t kMostPixelsToScale = 100'000'000;

// The size of the picture at `path`, read from its headers without decoding
// it. Throws Failure when the file cannot be read as a picture.
Size picture_size(const std::string& path);

// The decoded picture at `path`, at most 999 × 999 pixels: a larger one is
// refused from its headers, before it is decoded, by too_large(path, size,
// tooLargeHint). Transparent GIF pixels, and pixels a file leaves unset, take
// `background`. Throws Failure.
Picture load_picture(const std::string& path, Argb background = kWindowColour, const std::string& tooLargeHint = {});

// The same for a picture in memory (one built into the program); `name`
// stands for its path in messages.
Picture load_picture_data(std::span<const std::uint8_t> bytes, const std::string& name,
                          Argb background = kWindowColour, const std::string& tooLargeHint = {});

// The empty picture.
inline Picture load_picture() { return Picture(); }

// The picture at `path` scaled down, keeping its proportions, to fit `box`
// (one that fits already stays as it is), without ever holding it whole at
// its full size. Refuses pictures over kMostPixelsToScale before decoding.
Picture load_picture_within(const std::string& path, Size box, Argb background = kWindowColour);
Picture load_picture_data_within(std::span<const std::uint8_t> bytes, const std::string& name, Size box,
                                 Argb background = kWindowColour);

// The failure of a picture too large for a ZFT file; `hint` is added to the
// reason when not empty.
Failure too_large(const std::string& path, Size size, const std::string& hint = {});

}  // namespace core
