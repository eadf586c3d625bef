// What every picture decoder shares: where the bytes come from, where the
// rows go, and how a decoder says that a file cannot be read. Standard C++
// only, so that the decoders can be fuzzed on their own.
//
// A decoder reads the size from the headers before anything else, gives it
// to the sink, which refuses what is too large before a pixel is allocated,
// then hands over every row once, from the top row down. Every pixel of every
// row is set: what a file leaves undefined takes the background colour.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/failure.h"
#include "core/files.h"
#include "core/picture.h"

namespace core {

// A file that cannot be decoded: a failure of kind Damaged whose reason
// says why, in plain words and without the file's name ("the pixel data
// stops after 100,000 of 270,054 bytes"). The caller says it of the file.
inline Failure damaged(std::string reason) { return Failure(Failure::Kind::Damaged, std::move(reason)); }

// What the caller asks of a decoder.
struct DecodeOptions {
    // What transparent pixels of a GIF, and pixels a file never sets (a BMP's
    // RLE stream that skips them), take.
    Argb background = argb(0, 0, 0);
    // The caller will scale the picture down to this size: a decoder that can
    // decode at a reduced scale (JPEG) may give any size at least this large.
    // {0, 0}: the full size.
    Size atLeast;
};

// Where a decoder's rows go.
class RowSink {
public:
    virtual ~RowSink() = default;
    // Once, before any row. Throws Failure when the picture is not to be
    // decoded, for example too large.
    // `hasAlpha`: whether rows may hold pixels less than opaque.
    virtual void begin(Size size, bool hasAlpha) = 0;
    // Where row y goes: size.width pixels, 0xAARRGGBB, for the decoder to
    // fill, then to hand over with done(y). Rows come from 0 to height − 1,
    // each once, one at a time.
    virtual Argb* row(int y) = 0;
    virtual void done(int y) = 0;
    // Row y in pieces, from the left: pixels x to x + n − 1, then done(y) as
    // for a row filled in row(y). A decoder that can expand a row a part at a
    // time hands it over so, and a sink that reduces it never holds a row of
    // the picture's width, however wide. The others take the pieces into
    // row(y), asked for once, with the first piece.
    virtual void piece(int y, int x, const Argb* pixels, int n);

private:
    Argb* pieceRow_ = nullptr;
};

// Collects the rows into a picture of their size.
class PictureSink : public RowSink {
public:
    void begin(Size size, bool hasAlpha) override;
    Argb* row(int y) override { return picture.row(y); }
    void done(int) override {}

    Picture picture;
};

// "270,054": how the decoders' messages write counts.
std::string with_commas(std::uint64_t n);

// Reads exactly n bytes at `offset`, or throws damaged() saying that the
// file stops short of `what` ("the palette", "the pixel data").
void read_exactly(ByteSource& file, std::uint64_t offset, void* out, std::size_t n, const char* what);

}  // namespace core
