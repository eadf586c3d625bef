// Our own BMP decoder. Qt's left pixels unwritten in damaged files and
// widened 5-bit channels by a shift (31 became 248, not 255); here every
// length is checked against the file before it is read, every pixel handed on
// is set, and every channel is scaled to full range with rounding.
//
// Uncompressed rows are read at their own offsets and handed over in pieces
// of kStripPixels, so a picture of any size, a row of any width, is decoded
// in the memory of a piece. RLE streams run from the bottom row up while rows
// go to the sink from the top, so they are decoded into a canvas first: one
// byte of palette index per pixel and one bit saying whether the stream set
// it. A run that goes past its row's end is cut there, as other readers do:
// some writers pad a row to a multiple of four pixels with one.
#include "core/decoders/formats.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace core::bmp {
namespace {

constexpr std::uint64_t kFileHeaderSize = 14;
constexpr std::uint32_t kLargestHeader = 124;

// The compression field's values; OS/2 2.x gives 3 and 4 other meanings.
enum : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitfields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitfields = 6,
    kCmyk = 11,
    kCmykRle8 = 12,
    kCmykRle4 = 13,
};

enum class Kind { Indexed, Rgb24, Fields, Rle8, Rle4 };

// How many pixels of a row are expanded at a time; a multiple of 8, so that
// every piece of a row of 1, 2 or 4 bits starts on a byte.
constexpr int kStripPixels = 16384;

std::string signed_commas(std::int64_t n) {
    return n < 0 ? "-" + with_commas(static_cast<std::uint64_t>(-(n + 1)) + 1) : with_commas(static_cast<std::uint64_t>(n));
}

// "1 byte", "1,024 bytes".
std::string counted(std::uint64_t n, const char* thing) { return with_commas(n) + " " + thing + (n == 1 ? "" : "s"); }

std::string hex(std::uint32_t n) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", n);
    return text;
}

[[noreturn]] void refuse(const std::string& why) { throw damaged(why); }

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::int32_t sle32(const std::uint8_t* p) { return static_cast<std::int32_t>(le32(p)); }

// n bytes at `offset`, or a failure saying how many of them the file has:
// "<what> after 10 of 40 bytes".
void read_part(ByteSource& file, std::uint64_t offset, std::uint8_t* out, std::size_t n, const char* what) {
    const std::size_t got = file.read(offset, out, n);
    if (got != n)
        refuse(std::string(what) + " after " + with_commas(got) + " of " + with_commas(n) + " bytes");
}

// Everything the headers say, checked against each other but not yet
// against the file's length.
struct Header {
    Size size;
    bool bottomUp = true;
    int bits = 0;
    Kind kind = Kind::Indexed;
    bool core = false;              // OS/2 1.x: palette entries of 3 bytes
    std::uint64_t paletteStart = 0;  // just past the headers and any masks
    std::uint64_t pixelOffset = 0;
    std::uint32_t colorsUsed = 0;
    std::uint32_t fileSize = 0;   // the file header's length of the file; 0 when not given
    std::uint32_t imageSize = 0;  // the picture header's length of the pixel data; 0 when not given
    std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha
};

const char* const kChannelNames[] = {"red", "green", "blue", "alpha"};

bool contiguous(std::uint32_t mask) {
    if (mask == 0)
        return true;
    const std::uint32_t run = mask >> std::countr_zero(mask);
    return (run & (run + 1)) == 0;
}

bool fits(std::uint32_t mask, int bits) { return bits >= 32 || mask >> bits == 0; }

const char* refused_compression(std::uint32_t compression) {
    switch (compression) {
    case kJpeg: return "JPEG";
    case kPng: return "PNG";
    case kCmyk: return "CMYK";
    case kCmykRle8: return "CMYK RLE8";
    case kCmykRle4: return "CMYK RLE4";
    default: return nullptr;
    }
}

Header read_headers(ByteSource& file) {
    std::array<std::uint8_t, kFileHeaderSize + kLargestHeader> bytes{};
    const std::size_t got = file.read(0, bytes.data(), kFileHeaderSize + 4);
    if (got < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        refuse("the file does not start with BM, the mark of a BMP picture");
    if (got < kFileHeaderSize)
        refuse("the BMP file header stops after " + with_commas(got) + " of 14 bytes");
    if (got < kFileHeaderSize + 4)
        refuse("the file stops after " + with_commas(got) + " bytes, before the picture header");

    Header header;
    header.fileSize = le32(&bytes[2]);
    header.pixelOffset = le32(&bytes[10]);
    const std::uint32_t headerSize = le32(&bytes[14]);
    switch (headerSize) {
    case 12: case 16: case 40: case 52: case 56: case 64: case 108: case 124: break;
    default:
        refuse("the picture header is " + with_commas(headerSize) +
               " bytes long, which is none of the BMP headers this program reads (12, 16, 40, 52, 56, 64, 108 or 124 bytes)");
    }
    read_part(file, kFileHeaderSize, &bytes[kFileHeaderSize], headerSize, "the picture header stops");
    const std::uint8_t* h = &bytes[kFileHeaderSize];
    header.core = headerSize == 12;
    const bool os2 = headerSize == 16 || headerSize == 64;

    std::int64_t width, height;
    std::uint32_t compression = kRgb;
    if (header.core) {
        width = le16(h + 4);
        height = le16(h + 6);
        header.bits = le16(h + 10);
    } else {
        width = sle32(h + 4);
        height = sle32(h + 8);
        header.bits = le16(h + 14);
        if (headerSize >= 40) {
            compression = le32(h + 16);
            header.imageSize = le32(h + 20);
            header.colorsUsed = le32(h + 32);
        }
    }

    if (os2 && compression == 3)
        refuse("the picture is compressed with Huffman 1D, which this program does not read");
    if (os2 && compression == 4)
        refuse("the picture is compressed with 24-bit RLE, which this program does not read");
    if (os2 && compression > kRle4)
        refuse("the header names compression kind " + with_commas(compression) + ", which OS/2 pictures do not have");
    if (const char* name = refused_compression(compression))
        refuse(std::string("the picture is compressed with ") + name + ", which this program does not read");

    const int bits = header.bits;
    switch (compression) {
    case kRgb:
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            refuse("the header says " + with_commas(bits) +
                   " bits per pixel; this program reads 1, 2, 4, 8, 16, 24 and 32");
        header.kind = bits <= 8 ? Kind::Indexed : bits == 24 ? Kind::Rgb24 : Kind::Fields;
        break;
    case kRle8:
    case kRle4: {
        const int wanted = compression == kRle8 ? 8 : 4;
        if (bits != wanted)
            refuse(std::string(compression == kRle8 ? "RLE8" : "RLE4") + " compression needs " + with_commas(wanted) +
                   " bits per pixel, and the header says " + with_commas(bits));
        header.kind = compression == kRle8 ? Kind::Rle8 : Kind::Rle4;
        break;
    }
    case kBitfields:
    case kAlphaBitfields:
        if (bits != 16 && bits != 32)
            refuse("bit fields need 16 or 32 bits per pixel, and the header says " + with_commas(bits));
        header.kind = Kind::Fields;
        break;
    default:
        refuse("the header names compression kind " + with_commas(compression) + ", which is not a BMP compression");
    }

    if (width <= 0)
        refuse(width == 0 ? std::string("the picture is 0 pixels wide")
                          : "the header gives a width of " + signed_commas(width) + " pixels");
    if (height == 0)
        refuse("the picture is 0 pixels high");
    if (height < 0) {
        if (height < -INT_MAX)
            refuse("the header gives a height of " + signed_commas(height) + " pixels, out of range");
        header.bottomUp = false;
        height = -height;
    }
    header.size = {static_cast<int>(width), static_cast<int>(height)};
    if (!header.bottomUp && (header.kind == Kind::Rle8 || header.kind == Kind::Rle4))
        refuse("the picture is RLE-compressed and stored top-down; RLE pictures are stored from the bottom row up");

    header.paletteStart = kFileHeaderSize + headerSize;
    if (header.kind != Kind::Fields)
        return header;

    // The masks a Windows header has no room for follow it.
    const bool windows = !header.core && !os2;
    const int inHeader = !windows ? 0 : headerSize >= 56 ? 4 : headerSize >= 52 ? 3 : 0;
    auto& masks = header.masks;
    if (compression == kRgb) {
        masks = bits == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                           : std::array<std::uint32_t, 4>{0xFF0000, 0x00FF00, 0x0000FF, 0};
        // Writers of V3 and later headers state their alpha mask even when
        // the colours take the default layout; one that cannot be an alpha
        // channel beside that layout is left unused.
        if (inHeader == 4) {
            const std::uint32_t alpha = le32(h + 52);
            if (contiguous(alpha) && fits(alpha, bits) && (alpha & (masks[0] | masks[1] | masks[2])) == 0)
                masks[3] = alpha;
        }
        return header;
    }
    const int wanted = compression == kAlphaBitfields ? 4 : 3;
    for (int i = 0; i < inHeader; ++i)
        masks[i] = le32(h + 40 + 4 * i);
    if (const int following = std::max(0, wanted - inHeader); following > 0) {
        std::array<std::uint8_t, 16> more{};
        read_part(file, header.paletteStart, more.data(), 4 * following, "the bit masks stop");
        for (int i = 0; i < following; ++i)
            masks[inHeader + i] = le32(&more[4 * i]);
        header.paletteStart += 4 * following;
    }
    for (int i = 0; i < 4; ++i) {
        if (!contiguous(masks[i]))
            refuse(std::string("the ") + kChannelNames[i] + " bit mask " + hex(masks[i]) + " is not one run of bits");
        if (!fits(masks[i], bits))
            refuse(std::string("the ") + kChannelNames[i] + " bit mask " + hex(masks[i]) + " does not fit in " +
                   with_commas(bits) + " bits per pixel");
    }
    if ((masks[0] | masks[1] | masks[2]) == 0)
        refuse("the red, green and blue bit masks are all zero");
    return header;
}

// One channel of a bit-field pixel, scaled to 0–255 so that the largest
// value the field holds is 255: value × 255 / largest, to the nearest.
class Channel {
public:
    explicit Channel(std::uint32_t mask) : mask_(mask) {
        if (mask == 0)
            return;
        shift_ = std::countr_zero(mask);
        largest_ = mask >> shift_;
        if (largest_ <= 0xFFFF) {
            table_.resize(largest_ + 1);
            for (std::uint64_t v = 0; v <= largest_; ++v)
                table_[v] = static_cast<std::uint8_t>(scale(v));
        }
    }
    int operator()(std::uint32_t pixel) const {
        const std::uint32_t value = (pixel & mask_) >> shift_;
        return table_.empty() ? scale(value) : table_[value];
    }

private:
    int scale(std::uint64_t value) const {
        return largest_ == 0 ? 0 : static_cast<int>((value * 255 + largest_ / 2) / largest_);
    }
    std::uint32_t mask_;
    int shift_ = 0;
    std::uint64_t largest_ = 0;
    std::vector<std::uint8_t> table_;
};

using Palette = std::array<Argb, 256>;

// The palette, every index past it black.
Palette read_palette(ByteSource& file, const Header& header) {
    Palette palette;
    palette.fill(argb(0, 0, 0));
    const int bits = header.kind == Kind::Rle8 ? 8 : header.kind == Kind::Rle4 ? 4 : header.bits;
    const std::uint64_t most = std::uint64_t{1} << bits;
    const std::uint64_t entry = header.core ? 3 : 4;
    const std::uint64_t room = (header.pixelOffset - header.paletteStart) / entry;
    std::uint64_t count;
    if (header.colorsUsed != 0) {
        if (header.colorsUsed > most)
            refuse("the header promises " + with_commas(header.colorsUsed) + " palette colours, more than the " +
                   with_commas(most) + " that " + counted(bits, "bit") + " per pixel can index");
        count = header.colorsUsed;
        if (count > room)
            refuse("the palette of " + with_commas(count) + " colours runs from byte " + with_commas(header.paletteStart) +
                   " to byte " + with_commas(header.paletteStart + count * entry) +
                   ", past the start of the pixel data at byte " + with_commas(header.pixelOffset));
    } else {
        // Without a count the palette is as long as the bits allow, or as
        // fits before the pixel data: OS/2 writers often give fewer.
        count = std::min(most, room);
        if (count == 0)
            refuse("the picture has " + with_commas(bits) + " bits per pixel and no room for a palette before its pixel data");
    }
    std::array<std::uint8_t, 256 * 4> bytes;
    read_part(file, header.paletteStart, bytes.data(), count * entry, "the palette stops");
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* p = &bytes[i * entry];
        palette[i] = argb(p[2], p[1], p[0]);
    }
    return palette;
}

void indexed_row(const std::uint8_t* in, int width, int bits, const Palette& palette, Argb* out) {
    if (bits == 8) {
        for (int x = 0; x < width; ++x)
            out[x] = palette[in[x]];
        return;
    }
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (int x = 0; x < width; ++x) {
        const int shift = 8 - bits * (x % perByte + 1);
        out[x] = palette[in[x / perByte] >> shift & mask];
    }
}

// Rows of the file in file order: fileRow 0 is the first stored.
class StoredRows {
public:
    StoredRows(ByteSource& file, const Header& header) : file_(file), header_(header) {
        const std::uint64_t rowBits = static_cast<std::uint64_t>(header.size.width) * header.bits;
        rowBytes_ = (rowBits + 7) / 8;
        stride_ = (rowBits + 31) / 32 * 4;
        // The last row's padding is not needed: some writers leave it out.
        const std::uint64_t needed = stride_ * (header.size.height - 1) + rowBytes_;
        const std::uint64_t available = file.sizeUpTo(header.pixelOffset + needed) - header.pixelOffset;
        if (available < needed)
            refuse("the pixel data stops after " + with_commas(available) + " of " + with_commas(needed) + " bytes");
    }
    std::uint64_t rowBytes() const { return rowBytes_; }
    std::uint64_t offset(int fileRow) const { return header_.pixelOffset + stride_ * fileRow; }
    void read(int fileRow, std::uint64_t from, std::uint8_t* out, std::size_t n) {
        if (file_.read(offset(fileRow) + from, out, n) != n)
            refuse("the file became shorter while it was read: row " + with_commas(fileRow) + " stops short");
    }

private:
    ByteSource& file_;
    const Header& header_;
    std::uint64_t rowBytes_ = 0;
    std::uint64_t stride_ = 0;
};

std::uint32_t stored_pixel(const std::uint8_t* p, int bytesPerPixel) {
    return bytesPerPixel == 2 ? le16(p) : le32(p);
}

// Whether any pixel has alpha other than zero; read in pieces of at most
// 64 KiB, as this happens before the sink has agreed to the picture's size.
bool any_alpha(StoredRows& rows, const Header& header) {
    const int bytesPerPixel = header.bits / 8;
    std::vector<std::uint8_t> piece(std::min<std::uint64_t>(rows.rowBytes(), 65536));
    for (int fileRow = 0; fileRow < header.size.height; ++fileRow) {
        for (std::uint64_t from = 0; from < rows.rowBytes(); from += piece.size()) {
            const std::size_t n = std::min<std::uint64_t>(piece.size(), rows.rowBytes() - from);
            rows.read(fileRow, from, piece.data(), n);
            for (std::size_t i = 0; i < n; i += bytesPerPixel)
                if (stored_pixel(&piece[i], bytesPerPixel) & header.masks[3])
                    return true;
        }
    }
    return false;
}

void decode_stored(ByteSource& file, Header& header, const Palette& palette, RowSink& sink) {
    StoredRows rows(file, header);
    // A 32-bit picture whose alpha is zero in every pixel would be wholly
    // transparent: its writer meant it opaque and left the fourth byte
    // unused, so it is shown opaque. One pixel with any alpha is enough for
    // the alpha of all to count.
    if (header.kind == Kind::Fields && header.masks[3] != 0 && !any_alpha(rows, header))
        header.masks[3] = 0;
    const bool hasAlpha = header.masks[3] != 0;
    const Size size = header.size;
    sink.begin(size, hasAlpha);

    const Channel red(header.masks[0]), green(header.masks[1]), blue(header.masks[2]), alpha(header.masks[3]);
    const int bits = header.bits;
    const int bytesPerPixel = bits / 8;
    const int stripPixels = std::min(kStripPixels, size.width);
    std::vector<std::uint8_t> stored((static_cast<std::size_t>(stripPixels) * bits + 7) / 8);
    std::vector<Argb> strip(static_cast<std::size_t>(stripPixels));
    for (int y = 0; y < size.height; ++y) {
        const int fileRow = header.bottomUp ? size.height - 1 - y : y;
        for (int x = 0; x < size.width; x += stripPixels) {
            const int n = std::min(stripPixels, size.width - x);
            rows.read(fileRow, std::uint64_t(x) * bits / 8, stored.data(), (std::uint64_t(n) * bits + 7) / 8);
            const std::uint8_t* in = stored.data();
            Argb* out = strip.data();
            switch (header.kind) {
            case Kind::Indexed:
                indexed_row(in, n, bits, palette, out);
                break;
            case Kind::Rgb24:
                for (int i = 0; i < n; ++i, in += 3)
                    out[i] = argb(in[2], in[1], in[0]);
                break;
            default:
                for (int i = 0; i < n; ++i, in += bytesPerPixel) {
                    const std::uint32_t v = stored_pixel(in, bytesPerPixel);
                    out[i] = argb(red(v), green(v), blue(v), hasAlpha ? alpha(v) : 255);
                }
            }
            sink.piece(y, x, out, n);
        }
        sink.done(y);
    }
}

// The RLE stream from the pixel data's offset on, read through a buffer as
// far as the commands go: from a stream, nothing past the end-of-picture
// marker is read.
class Stream {
public:
    Stream(ByteSource& file, std::uint64_t start) : file_(file), position_(start), bufferStart_(start) {}
    std::uint64_t position() const { return position_; }
    bool at_end() { return have(1) == 0; }
    // How many bytes the file has left; known once take() has failed.
    std::uint64_t left() const { return bufferStart_ + buffer_.size() - position_; }
    // n bytes, or false with nothing taken when fewer are left.
    bool take(std::uint8_t* out, std::size_t n) {
        if (have(n) < n)
            return false;
        std::copy_n(&buffer_[position_ - bufferStart_], n, out);
        position_ += n;
        return true;
    }

private:
    // Up to n bytes from the position on in the buffer, read when they are
    // not there yet: how many the file has, n at most.
    std::size_t have(std::size_t n) {
        if (!ended_ && position_ + n > bufferStart_ + buffer_.size()) {
            buffer_.resize(std::max(kBuffer, n));
            bufferStart_ = position_;
            const std::size_t got = file_.read(position_, buffer_.data(), buffer_.size());
            ended_ = got < buffer_.size();
            buffer_.resize(got);
        }
        return static_cast<std::size_t>(std::min<std::uint64_t>(n, left()));
    }

    static constexpr std::size_t kBuffer = 65536;
    ByteSource& file_;
    std::uint64_t position_;
    std::uint64_t bufferStart_;
    std::vector<std::uint8_t> buffer_;
    bool ended_ = false;  // the buffer reaches the file's end
};

class Canvas {
public:
    explicit Canvas(Size size)
        : width_(size.width),
          indices_(static_cast<std::size_t>(size.width) * size.height),
          set_((indices_.size() + 63) / 64) {}
    // Pixel x of row r, counted from the bottom as the stream counts.
    void put(int r, int x, std::uint8_t index) {
        const std::size_t i = static_cast<std::size_t>(r) * width_ + x;
        indices_[i] = index;
        set_[i / 64] |= std::uint64_t{1} << (i % 64);
    }
    // Pixels x to x + n − 1 of row r, in colour.
    void colours(int r, int x, int n, const Palette& palette, Argb background, Argb* out) const {
        const std::size_t start = static_cast<std::size_t>(r) * width_ + x;
        for (int k = 0; k < n; ++k) {
            const std::size_t i = start + k;
            out[k] = set_[i / 64] >> (i % 64) & 1 ? palette[indices_[i]] : background;
        }
    }

private:
    std::size_t width_;
    std::vector<std::uint8_t> indices_;
    std::vector<std::uint64_t> set_;
};

void decode_rle(ByteSource& file, const Header& header, const Palette& palette, const DecodeOptions& options,
                RowSink& sink) {
    const Size size = header.size;
    const bool four = header.kind == Kind::Rle4;
    sink.begin(size, alpha_of(options.background) != 255);
    Canvas canvas(size);

    Stream stream(file, header.pixelOffset);
    int x = 0, r = 0;  // r counts rows from the bottom
    auto where = [&] {
        return "column " + with_commas(x) + " of row " + with_commas(r) + " from the bottom";
    };
    auto stops_inside = [&](std::uint64_t at, const char* what) {
        refuse("the RLE data stops inside " + std::string(what) + " at byte " + with_commas(at) + ", with " +
               counted(stream.left(), "byte") + " of the file left");
    };
    // Where a run's pixels go: those past the row's end nowhere.
    auto put_run = [&](std::uint64_t at, int n, auto index_of) {
        if (r >= size.height)
            refuse("the RLE data at byte " + with_commas(at) + " has pixels past the picture's top row");
        const int shown = std::min(n, size.width - x);
        for (int i = 0; i < shown; ++i)
            canvas.put(r, x + i, index_of(i));
        x = std::min(x + n, size.width);
    };
    // A stream that ends without its end-of-picture marker: the picture is
    // what it set, unless the file's own headers say that it was longer.
    auto check_length = [&] {
        const std::uint64_t present = stream.position() - header.pixelOffset;
        std::uint64_t promised = header.imageSize;
        if (promised == 0 && header.fileSize > header.pixelOffset)
            promised = header.fileSize - header.pixelOffset;
        if (present < promised)
            refuse("the pixel data stops after " + with_commas(present) + " of " + with_commas(promised) +
                   " bytes, before the RLE data's end-of-picture marker");
    };
    for (;;) {
        const std::uint64_t at = stream.position();
        std::uint8_t command[2];
        if (stream.at_end()) {
            check_length();
            break;  // what the stream did not set keeps the background
        }
        if (!stream.take(command, 2))
            stops_inside(at, "a command");
        if (command[0] > 0) {
            put_run(at, command[0], [&](int i) -> std::uint8_t {
                return four ? (i % 2 ? command[1] & 0x0F : command[1] >> 4) : command[1];
            });
        } else if (command[1] == 0) {
            x = 0;
            r = std::min(r + 1, size.height);
        } else if (command[1] == 1) {
            break;
        } else if (command[1] == 2) {
            std::uint8_t move[2];
            if (!stream.take(move, 2))
                stops_inside(at, "a delta");
            if (r >= size.height || x + move[0] > size.width || r + move[1] >= size.height)
                refuse("the RLE data at byte " + with_commas(at) + " moves " + counted(move[0], "column") + " right and " +
                       counted(move[1], "row") + " up from " + where() + ", out of the " + with_commas(size.width) + " × " +
                       with_commas(size.height) + " picture");
            x += move[0];
            r += move[1];
        } else {
            const int n = command[1];
            const std::size_t bytes = four ? (n + 1) / 2 : n;
            std::uint8_t literal[256];
            if (!stream.take(literal, bytes + bytes % 2))
                refuse("the RLE data at byte " + with_commas(at) + " has a run of " + counted(n, "pixel") + " in " +
                       counted(bytes + bytes % 2, "byte") + ", and the file stops after " + with_commas(stream.left()) +
                       " of them");
            put_run(at, n, [&](int i) -> std::uint8_t {
                return four ? (i % 2 ? literal[i / 2] & 0x0F : literal[i / 2] >> 4) : literal[i];
            });
        }
    }

    std::vector<Argb> strip(static_cast<std::size_t>(std::min(kStripPixels, size.width)));
    const int stripPixels = static_cast<int>(strip.size());
    for (int y = 0; y < size.height; ++y) {
        for (int from = 0; from < size.width; from += stripPixels) {
            const int n = std::min(stripPixels, size.width - from);
            canvas.colours(size.height - 1 - y, from, n, palette, options.background, strip.data());
            sink.piece(y, from, strip.data(), n);
        }
        sink.done(y);
    }
}

}  // namespace

bool sniff(std::span<const std::uint8_t> start) { return start.size() >= 2 && start[0] == 'B' && start[1] == 'M'; }

Size size(ByteSource& file) { return read_headers(file).size; }

void decode(ByteSource& file, const DecodeOptions& options, RowSink& sink) {
    Header header = read_headers(file);
    if (header.pixelOffset < header.paletteStart)
        refuse("the pixel data would start at byte " + with_commas(header.pixelOffset) + ", inside the headers, which end at byte " +
               with_commas(header.paletteStart));
    // Read first, so that a file cut inside its palette says so.
    const bool rle = header.kind == Kind::Rle8 || header.kind == Kind::Rle4;
    const Palette palette = rle || header.kind == Kind::Indexed ? read_palette(file, header) : Palette{};
    if (const std::uint64_t reach = file.sizeUpTo(header.pixelOffset); reach < header.pixelOffset)
        refuse("the pixel data would start at byte " + with_commas(header.pixelOffset) + ", past the end of the " +
               with_commas(reach) + "-byte file");
    if (rle)
        decode_rle(file, header, palette, options, sink);
    else
        decode_stored(file, header, palette, sink);
}

}  // namespace core::bmp
