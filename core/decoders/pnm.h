// Binary PPM and PGM pictures (P6, P5): what zft export writes, read back.
#pragma once

#include <cstdint>
#include <span>

#include "core/decoders/decoder.h"

namespace core::pnm {

// Whether a file starting with `start` (its first 8 bytes, or all of a
// shorter file) is one of these.
bool sniff(std::span<const std::uint8_t> start);

// The picture's size, from the header alone. Throws DecodeError.
Size size(ByteSource& file);

// The picture, every row to `sink`. Throws DecodeError, and whatever the
// sink throws.
void decode(ByteSource& file, const DecodeOptions& options, RowSink& sink);

}  // namespace core::pnm
