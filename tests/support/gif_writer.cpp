#include "tests/support/gif_writer.h"

#include <QFile>
#include <algorithm>

namespace testing {
namespace {

// Codes go out 9 bits wide with an 8-bit minimum code size. Only literal
// codes are sent, and a clear code comes before the decoder's table could
// fill to 512 entries and widen the codes, so the stream stays plain LZW
// without any compression to get wrong.
constexpr int kMinCodeSize = 8;
constexpr int kClear = 1 << kMinCodeSize;
constexpr int kEnd = kClear + 1;
constexpr int kCodeBits = kMinCodeSize + 1;
constexpr int kLiteralsPerClear = 250;

class BitPacker {
public:
    void put(int code) {
        accumulator_ |= static_cast<unsigned>(code) << bits_;
        bits_ += kCodeBits;
        while (bits_ >= 8) {
            bytes_ += static_cast<char>(accumulator_ & 0xFF);
            accumulator_ >>= 8;
            bits_ -= 8;
        }
    }
    QByteArray finish() {
        if (bits_ > 0)
            bytes_ += static_cast<char>(accumulator_ & 0xFF);
        return bytes_;
    }

private:
    QByteArray bytes_;
    unsigned accumulator_ = 0;
    int bits_ = 0;
};

void put_word(QByteArray& out, int value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

// The code size byte, the LZW codes in pieces of at most 255 bytes, the
// empty piece that ends them.
void put_image_data(QByteArray& out, const std::vector<unsigned char>& indices) {
    BitPacker codes;
    int sinceClear = kLiteralsPerClear;
    for (unsigned char index : indices) {
        if (sinceClear == kLiteralsPerClear) {
            codes.put(kClear);
            sinceClear = 0;
        }
        codes.put(index);
        ++sinceClear;
    }
    codes.put(kEnd);
    const QByteArray data = codes.finish();

    out += static_cast<char>(kMinCodeSize);
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        out += static_cast<char>(block.size());
        out += block;
    }
    out += '\0';
}

// A table's size field (entries = 2 << field) and its entries.
int table_field(const QList<QRgb>& palette) {
    int field = 0;
    while ((2 << field) < palette.size())
        ++field;
    return field;
}

void put_table(QByteArray& out, const QList<QRgb>& palette) {
    for (int i = 0; i < (2 << table_field(palette)); ++i) {
        const QRgb colour = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
        out += static_cast<char>(qRed(colour));
        out += static_cast<char>(qGreen(colour));
        out += static_cast<char>(qBlue(colour));
    }
}

}  // namespace

QByteArray gif_bytes(const IndexedPicture& picture) {
    Q_ASSERT(picture.palette.size() <= 256);
    Q_ASSERT(picture.indices.size() == static_cast<std::size_t>(picture.width) * picture.height);
    QByteArray out("GIF89a");
    put_word(out, picture.width);
    put_word(out, picture.height);
    out += static_cast<char>(0xF7);  // global table of 256 entries, 8 bits per primary
    out += '\0';                     // background colour index
    out += '\0';                     // no aspect ratio
    for (int i = 0; i < 256; ++i) {
        const QRgb colour = i < picture.palette.size() ? picture.palette[i] : qRgb(0, 0, 0);
        out += static_cast<char>(qRed(colour));
        out += static_cast<char>(qGreen(colour));
        out += static_cast<char>(qBlue(colour));
    }
    if (picture.transparentIndex >= 0) {
        out += QByteArray::fromHex("21f904");
        out += '\x01';  // transparent colour flag, no disposal
        put_word(out, 0);
        out += static_cast<char>(picture.transparentIndex);
        out += '\0';
    }
    out += ',';
    put_word(out, 0);
    put_word(out, 0);
    put_word(out, picture.width);
    put_word(out, picture.height);
    out += '\0';  // no local table, not interlaced
    put_image_data(out, picture.indices);
    out += ';';
    return out;
}

QByteArray gif_bytes(const QImage& indexed, int transparentIndex) {
    Q_ASSERT(indexed.format() == QImage::Format_Indexed8);
    IndexedPicture picture;
    picture.width = indexed.width();
    picture.height = indexed.height();
    picture.palette = indexed.colorTable();
    picture.indices.reserve(static_cast<std::size_t>(picture.width) * picture.height);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            picture.indices.push_back(static_cast<unsigned char>(indexed.pixelIndex(x, y)));
    picture.transparentIndex = transparentIndex;
    return gif_bytes(picture);
}

QByteArray gif_bytes(const GifScreen& gif) {
    QByteArray out("GIF89a");
    put_word(out, gif.width);
    put_word(out, gif.height);
    out += static_cast<char>(gif.palette ? 0xF0 | table_field(*gif.palette) : 0x70);
    out += '\0';  // background colour index
    out += '\0';  // no aspect ratio
    if (gif.palette)
        put_table(out, *gif.palette);
    for (const GifBlock& block : gif.blocks) {
        Q_ASSERT(block.indices.size() == static_cast<std::size_t>(block.width) * block.height);
        if (block.delay != 0 || block.disposal != 0 || block.transparentIndex >= 0) {
            out += QByteArray::fromHex("21f904");
            out += static_cast<char>(block.disposal << 2 | (block.transparentIndex >= 0 ? 1 : 0));
            put_word(out, block.delay);
            out += static_cast<char>(std::max(block.transparentIndex, 0));
            out += '\0';
        }
        out += ',';
        put_word(out, block.left);
        put_word(out, block.top);
        put_word(out, block.width);
        put_word(out, block.height);
        out += static_cast<char>((block.palette ? 0x80 | table_field(*block.palette) : 0) |
                                 (block.interlaced ? 0x40 : 0));
        if (block.palette)
            put_table(out, *block.palette);
        if (!block.interlaced) {
            put_image_data(out, block.indices);
            continue;
        }
        // Rows 0, 8, 16 …, then 4, 12 …, then 2, 6 …, then the odd ones.
        std::vector<unsigned char> rows;
        rows.reserve(block.indices.size());
        const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < block.height; y += step[pass])
                rows.insert(rows.end(), block.indices.begin() + std::size_t(y) * block.width,
                            block.indices.begin() + std::size_t(y + 1) * block.width);
        put_image_data(out, rows);
    }
    if (gif.trailer)
        out += ';';
    return out;
}

bool write_gif(const QString& path, const IndexedPicture& picture) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(gif_bytes(picture)) >= 0 && file.flush();
}

QByteArray transparent_stripes_gif() {
    QImage indexed(40, 30, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 16; ++i)
        table << qRgb(i * 16, 255 - i * 13, (i * 71) % 256);
    indexed.setColorTable(table);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            indexed.setPixel(x, y, (x == y || x % 7 == 0) ? 3 : (x + 2 * y) % 16);
    return gif_bytes(indexed, 3);
}

}  // namespace testing
