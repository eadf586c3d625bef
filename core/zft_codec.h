// ZFT pictures in and out: the format's one codec, which every host uses
// (the window's converter, zft, the image plugins, the loaders).
//
//                     saving                          reading
//   in memory         save_zft(picture, stamp)        decode_zft(bytes, name)
//   files             save_zft(files, path, ...)      read_zft(files, path)
//   any sink/source   save_zft(sink, ...)             read_zft(source, name)
//   row by row        save_zft(sink, size, rows, ...) check_zft_header, check_zft_file
//
// Saving is the one way a ZFT file is made, whoever makes it (the window,
// zft, every image plugin and the page): the size checked, the notice
// encoded and cut to its field, the header built, the pixels written as
// the main window shows them.
//
// Reading is strict: a picture is taken only when every header field is as
// the converter writes it and the length is exactly 64 + 3·W·H; anything
// else is a Failure of kind Damaged whose reason says what is wrong, the
// first wrong field first. (The previewer reads as the window's command does, trusting
// the header.)
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "core/compose.h"
#include "core/files.h"
#include "core/header_text.h"
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

// The reason a file of `length` bytes cannot hold the header, and the
// reason it is not the `expected` length its header promises: the one
// wording of a file cut short, whoever reads it. A reader that stops at the
// first byte past the picture, not knowing the whole length, says so with
// longer_reason.
std::string short_file_reason(std::uint64_t length);
std::string length_reason(std::uint64_t length, std::uint64_t expected);
std::string longer_reason(std::uint64_t expected);

// What a saved picture is stamped with beside its pixels.
struct Stamp {
    std::string notice;  // as the user wrote it, UTF-8; encoded, trimmed, cut and padded by the save
    Date date = today();
    // What shows through the picture where it is less than opaque: the main
    // window's colour.
    Argb background = kWindowColour;
};

// Row `y` of the picture being saved, its width pixels, asked for once
// each from the top; less than opaque is composed over the stamp's
// background.
using RowSource = std::function<void(int y, Argb* row)>;

// Each throws Failure: the picture's size refused by check_zft_size before
// a byte is written, or what the sink throws. The file's own overload says
// it of `path` and leaves an existing file as it was on any failure.
void save_zft(ByteSink& out, Size size, const RowSource& rows, const Stamp& stamp);
void save_zft(ByteSink& out, const Picture& picture, const Stamp& stamp);
std::string save_zft(const Picture& picture, const Stamp& stamp);
void save_zft(Files& files, const std::string& path, Existing existing, const Picture& picture, const Stamp& stamp);

// The well-formed ZFT picture in `file`. Throws Failure said of `name`.
ZftPicture read_zft(ByteSource& file, const std::string& name);
ZftPicture decode_zft(std::span<const std::uint8_t> bytes, const std::string& name);
ZftPicture read_zft(Files& files, const std::string& path);

}  // namespace core
