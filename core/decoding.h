// Reading picture files (JPEG, GIF, BMP and PNG, told apart by their first
// bytes, whatever their names) into pictures, through the project's own
// decoders.
#pragma once

#include <cstdint>
#include <string>

#include "core/compose.h"
#include "core/failure.h"
#include "core/files.h"
#include "core/picture.h"

namespace core {

// The most pixels a picture may have to be decoded at all, reduced or not:
// one to be scaled down is read row by row, or decoded at a reduced scale,
// but a larger one is refused unread.
inline constexpr std::int64_t kMostPixels = 100'000'000;

// The most bytes of a picture read from a stream (standard input), whose
// length is not known before it is read: no layout the decoders take spends
// more than 9 bytes on a pixel (a 16-bit RGBA PNG stored uncompressed, one
// pixel a row, each row with its filter byte: 900 MB for 100 megapixels),
// and the rest leaves room for what a file carries beside its pixels.
inline constexpr std::uint64_t kMostPictureBytes = 1'000'000'000;

// The decoded picture in `file`, at most 999 × 999 pixels: a larger one is
// refused from its headers, before it is decoded, by too_large(name, size,
// tooLargeHint) when load_picture_within() can reduce it, and otherwise as
// picture_size() refuses it. Transparent GIF pixels, and pixels a file
// leaves unset, take `background`. Throws Failure said of `name`, the
// file's path or what stands for it in messages.
Picture load_picture(ByteSource& file, const std::string& name, Argb background = kWindowColour,
                     const std::string& tooLargeHint = {});
Picture load_picture(Files& files, const std::string& path, Argb background = kWindowColour,
                     const std::string& tooLargeHint = {});

// Whether the first bytes of `file` are those of a picture these decoders
// read. A ZFT file's never are: it starts with its version, "1A".
bool is_picture(ByteSource& file);

// The size of the picture in `file`, from its headers, when it can be
// decoded at all: one more work to decode than this program takes, reduced
// or not, is refused (TooLarge) naming the limit it passes: kMostPixels, or
// one of its kind's (a JPEG's coefficients, kept whole when it is stored in
// several scans; the pixels of a GIF's blocks, found by walking them
// undecompressed). What decides whether a reduction can be offered. Throws
// Failure said of `name`.
Size picture_size(ByteSource& file, const std::string& name);
Size picture_size(Files& files, const std::string& path);

// The empty picture.
inline Picture load_picture() { return Picture(); }

// The picture scaled down, keeping its proportions, to fit `box` (one that
// fits already stays as it is), without ever holding it whole at its full
// size. Refuses, before decoding, what picture_size() refuses.
Picture load_picture_within(ByteSource& file, const std::string& name, Size box, Argb background = kWindowColour);
Picture load_picture_within(Files& files, const std::string& path, Size box, Argb background = kWindowColour);

// What a picture that cannot be decoded is said with, naming its file:
// "Cannot read the picture <path>: <reason>".
inline constexpr std::string_view kReadPicture = "read the picture";

// The failure of a picture that found no room in memory to be decoded.
Failure no_memory_to_decode(const std::string& path);

// The failure of a picture too large for a ZFT file that can be reduced to
// fit; `hint` is added to the reason when not empty.
Failure too_large(const std::string& path, Size size, const std::string& hint = {});

}  // namespace core
