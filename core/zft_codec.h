// ZFT pictures in and out: the format's one codec, which every host uses
// (the window's converter, zft, the image plugins, the loaders).
//
//                     writing                         reading
//   in memory         encode_zft(header, picture)     decode_zft(bytes, name)
//   files             write_zft(files, path, ...)     read_zft(files, path)
//   any sink/source   write_zft(sink, ...)            read_zft(source, name)
//   row by row        ZftRowWriter                    check_zft_header, check_zft_file
//
// Reading is strict: a picture is taken only when every header field is as
// the converter writes it and the length is exactly 64 + 3·W·H; anything
// else is a Failure of kind Damaged whose reason says what is wrong, the
// first wrong field first. (The previewer reads as the window's command does, trusting
// the header.)
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/compose.h"
#include "core/files.h"
#include "core/picture.h"
#include "format/zft_format.h"

namespace core {

struct ZftPicture {
    zft::ZftHeader header;
    Picture picture;  // W × H, opaque
};

// Throws Failure (Damaged, not yet said of a file) naming the first field
// that is not as the converter writes it: "width is \"0x1\", not 3 digits".
void check_zft_header(const zft::ZftHeader& header);

// The same for a whole file of `length` bytes that starts with
// `headerBytes`: a file too short for the header, check_zft_header, then a
// length other than 64 + 3·W·H ("... its header promises 1429 (cut short)").
void check_zft_file(std::string_view headerBytes, std::uint64_t length);

// Throws Failure (TooLarge, not yet said of a file) when a picture of
// width × height pixels is more than a ZFT file can describe, before anything
// is written: "the picture is 1200 × 800 pixels, and a ZFT picture can be at
// most 999 × 999 pixels".
void check_zft_size(int width, int height);

// The reason a file of `length` bytes cannot hold the header.
std::string short_file_reason(std::uint64_t length);

// Writes a picture's pixels after its header, row by row from the top: each
// pixel red, green, blue.
class ZftRowWriter {
public:
    // Writes the header's 64 bytes. Its width and height are the picture's.
    ZftRowWriter(ByteSink& out, const zft::ZftHeader& header);

    // The next row's width() pixels, as shown: their alpha is not looked at.
    // Throws what the sink throws.
    void writeRow(const Argb* pixels);

    // Throws Failure when fewer rows than the header promises were written.
    void finish();

    int width() const { return width_; }
    int height() const { return height_; }

private:
    ByteSink& out_;
    int width_;
    int height_;
    int rows_ = 0;
    std::string bytes_;  // one row's
};

// The whole file: the header, then every row of `picture`, whose size must
// be the header's. What the picture holds that is less than opaque is
// written as the main window shows it, over `background`.
void write_zft(ByteSink& out, const zft::ZftHeader& header, const Picture& picture, Argb background = kWindowColour);
std::string encode_zft(const zft::ZftHeader& header, const Picture& picture, Argb background = kWindowColour);
// Written whole or not at all. Throws Failure naming `path`.
void write_zft(Files& files, const std::string& path, Existing existing, const zft::ZftHeader& header,
               const Picture& picture, Argb background = kWindowColour);

// The well-formed ZFT picture in `file`. Throws Failure said of `name`.
ZftPicture read_zft(ByteSource& file, const std::string& name);
ZftPicture decode_zft(std::span<const std::uint8_t> bytes, const std::string& name);
ZftPicture read_zft(Files& files, const std::string& path);

}  // namespace core
