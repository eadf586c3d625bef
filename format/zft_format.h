// ZFT picture files: a 64-byte header of fixed-width text fields, then the
// pixels, uncompressed.
//
//   offset  length  field              content
//   ------  ------  -----------------  ------------------------------------------
//        0       2  version            "1A"
//        2       2  creation_month     "01".."12"
//        4       2  creation_day       "01".."31"
//        6       4  creation_year      four decimal digits
//       10      48  copyright_notice   8-bit text (Windows-1252), left-aligned,
//                                      padded on the right with spaces
//       58       3  width              W, three digits, zero-padded ("065")
//       61       3  height             H, three digits, zero-padded
//       64   3·W·H  pixels             rows top to bottom, each row left to right,
//                                      each pixel the bytes red, green, blue
//
// No magic number, separator, line end, checksum or trailer: a well-formed
// file is exactly 64 + 3·W·H bytes. W and H are at most 999 since the header
// holds three digits.
//
// Everything here works on bytes in memory and uses the standard library only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zft {

inline constexpr std::size_t kHeaderSize = 64;
inline constexpr std::size_t kNoticeSize = 48;
inline constexpr int kMaxDimension = 999;
inline constexpr std::string_view kVersion = "1A";

struct ZftHeader {
    // The fields as stored, one byte per character, each exactly its width.
    std::string version;
    std::string creation_month;
    std::string creation_day;
    std::string creation_year;
    std::string copyright_notice;
    std::string width;
    std::string height;

    // The values of `width` and `height` as a reader takes them (see field_value).
    int width_value() const;
    int height_value() const;
};

// The header's layout: its fields in file order, each with its width. Every
// reader and writer of the header walks this table.
struct HeaderField {
    std::string ZftHeader::*member;
    std::size_t size;
};
inline constexpr std::array<HeaderField, 7> kHeaderFields = {{
    {&ZftHeader::version, 2},
    {&ZftHeader::creation_month, 2},
    {&ZftHeader::creation_day, 2},
    {&ZftHeader::creation_year, 4},
    {&ZftHeader::copyright_notice, kNoticeSize},
    {&ZftHeader::width, 3},
    {&ZftHeader::height, 3},
}};

// Whether a picture of w × h pixels can be stored: the header holds three
// digits a side.
constexpr bool fits_header(int w, int h) { return w <= kMaxDimension && h <= kMaxDimension; }

// A header for a picture of w × h pixels; the notice is cut or padded to its
// field (see notice_field). Dimensions outside 0..999 are the caller's error.
ZftHeader make_header(int month, int day, int year, std::string_view notice_bytes, int w, int h);

// The 64 bytes of the header. Every field must already have its exact width.
std::string encode_header(const ZftHeader& header);

// Splits 64 bytes into the fields, unchecked. `bytes` must hold kHeaderSize bytes.
ZftHeader decode_header(std::string_view bytes);

// Leading spaces and trailing spaces removed, the first 48 bytes kept, then
// padded with spaces to exactly 48 bytes.
std::string notice_field(std::string_view notice_bytes);

// "007" for 7: the decimal digits zero-padded on the left to `digits` places.
std::string zero_padded(int value, std::size_t digits);

// The eight characters month, day, year: 3 September 2004 gives "09032004".
std::string date_text(int month, int day, int year);

// The number a size field stands for, as a reader takes it: the decimal
// digits at its start, blanks anywhere among them skipped, so "1 2" is 12
// and " 7 " is 7; no digits there gives 0. A sign
// or anything else before the digits also gives 0, so no field gives a
// negative size, and three characters never give more than 999. Digits
// beyond what an int holds give INT_MAX.
int field_value(std::string_view field);

// Bytes of pixel data for a w × h picture, and the length of a well-formed file.
constexpr std::uint64_t pixel_bytes(int w, int h) {
    return 3ull * static_cast<std::uint64_t>(w < 0 ? 0 : w) * static_cast<std::uint64_t>(h < 0 ? 0 : h);
}
constexpr std::uint64_t file_size(int w, int h) { return kHeaderSize + pixel_bytes(w, h); }

// A byte that is no printable character as messages show it: "\x1B".
std::string escaped_byte(unsigned char byte);

}  // namespace zft
