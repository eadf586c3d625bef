// The picture formats the decoders read, one namespace each, all with the
// same three functions:
//
//   sniff(start)                  whether a file starting with `start` (its
//                                 first 8 bytes, or all of a shorter file)
//                                 is one of this kind;
//   size(file)                    the picture's size, from the headers alone;
//   decode(file, options, sink)   the picture, every row to `sink`.
//
// JPEG and GIF have a fourth, for the limits of their own that a picture of
// any size can pass, whatever the size it is decoded at:
//
//   check_limits(file)            refuses (TooLarge, the limit named) a
//                                 picture more work to decode than this
//                                 program takes, from its headers (a GIF's:
//                                 those of its first picture's blocks).
//
// Each throws Failure (damaged() for a damaged file), and decode() whatever
// the sink throws.
#pragma once

#include <cstdint>
#include <span>

#include "core/decoders/decoder.h"

// JPEG, through libjpeg-turbo's libjpeg API, as djpeg reads it.
namespace core::jpeg {
bool sniff(std::span<const std::uint8_t> start);
Size size(ByteSource& file);
void decode(ByteSource& file, const DecodeOptions& options, RowSink& sink);
void check_limits(ByteSource& file);
}  // namespace core::jpeg

// PNG, through libpng.
namespace core::png {
bool sniff(std::span<const std::uint8_t> start);
Size size(ByteSource& file);
void decode(ByteSource& file, const DecodeOptions& options, RowSink& sink);
}  // namespace core::png

// GIF, through giflib: the first picture, composed on the logical screen.
namespace core::gif {
bool sniff(std::span<const std::uint8_t> start);
Size size(ByteSource& file);
void decode(ByteSource& file, const DecodeOptions& options, RowSink& sink);
void check_limits(ByteSource& file);
}  // namespace core::gif

// BMP: the OS/2 and Windows headers up to V5, our own strict decoder.
namespace core::bmp {
bool sniff(std::span<const std::uint8_t> start);
Size size(ByteSource& file);
void decode(ByteSource& file, const DecodeOptions& options, RowSink& sink);
}  // namespace core::bmp

// Binary PPM and PGM (P6, P5): what zft export writes, read back.
namespace core::pnm {
bool sniff(std::span<const std::uint8_t> start);
Size size(ByteSource& file);
void decode(ByteSource& file, const DecodeOptions& options, RowSink& sink);
}  // namespace core::pnm
