// GIF pictures through giflib: the first picture, composed on the logical screen.
#pragma once

#include <cstdint>
#include <span>

#include "core/decoders/decoder.h"

namespace core::gif {

// Whether a file starting with `start` (its first 8 bytes, or all of a
// shorter file) is one of these.
bool sniff(std::span<const std::uint8_t> start);

// The picture's size, from the headers alone. Throws DecodeError.
Size size(ByteSource& file);

// The picture, every row to `sink`. Throws DecodeError, and whatever the
// sink throws.
void decode(ByteSource& file, const DecodeOptions& options, RowSink& sink);

}  // namespace core::gif
