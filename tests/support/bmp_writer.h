// A BMP writer for test pictures with known pixels: any header size, bit
// depth, palette, bit masks and pixel data, including what no good writer
// would put in a file. Qt writes one kind of BMP only.
#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <vector>

namespace testing {

struct Bmp {
    std::uint32_t headerSize = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative: rows stored from the top
    int bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    std::vector<std::uint32_t> palette;           // 0xRRGGBB; 3 bytes each in a 12-byte header's file, else 4
    std::array<std::uint32_t, 4> headerMasks{};  // red, green, blue, alpha, as far as the header has room
    std::vector<std::uint32_t> masksAfter;        // after the header
    // From the top: palette indices, 0xRRGGBB for 24 bits, stored values for
    // 16 and 32. Ignored when `data` is set.
    std::vector<std::vector<std::uint32_t>> rows;
    QByteArray data;               // the pixel data as it is (an RLE stream)
    std::int64_t pixelOffset = -1;  // -1: just after the palette
};

namespace bmp_detail {
inline void put16(QByteArray& b, int at, std::uint32_t v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8 & 0xFF);
}
inline void put32(QByteArray& b, int at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}
}  // namespace bmp_detail

inline QByteArray pixel_data(const Bmp& bmp) {
    if (!bmp.data.isEmpty())
        return bmp.data;
    QByteArray out;
    const int count = int(bmp.rows.size());
    for (int i = 0; i < count; ++i) {
        const auto& row = bmp.rows[bmp.height > 0 ? count - 1 - i : i];
        QByteArray line;
        if (bmp.bits <= 8) {
            line.fill(0, int((row.size() * bmp.bits + 7) / 8));
            for (std::size_t x = 0; x < row.size(); ++x) {
                const std::size_t bit = x * bmp.bits;
                line[int(bit / 8)] = char(line[int(bit / 8)] | row[x] << (8 - bmp.bits - bit % 8));
            }
        } else {
            for (const std::uint32_t v : row)
                for (int byte = 0; byte < bmp.bits / 8; ++byte)
                    line.append(char(v >> (8 * byte) & 0xFF));
        }
        while (line.size() % 4)
            line.append('\0');
        out += line;
    }
    return out;
}

inline QByteArray bytes(const Bmp& bmp) {
    using namespace bmp_detail;
    QByteArray header(int(bmp.headerSize), '\0');
    put32(header, 0, bmp.headerSize);
    if (bmp.headerSize == 12) {
        put16(header, 4, std::uint32_t(bmp.width));
        put16(header, 6, std::uint32_t(bmp.height));
        put16(header, 8, 1);
        put16(header, 10, std::uint32_t(bmp.bits));
    } else {
        put32(header, 4, std::uint32_t(bmp.width));
        put32(header, 8, std::uint32_t(bmp.height));
        put16(header, 12, 1);
        put16(header, 14, std::uint32_t(bmp.bits));
    }
    const QByteArray pixels = pixel_data(bmp);
    if (bmp.headerSize >= 40) {
        put32(header, 16, bmp.compression);
        put32(header, 20, std::uint32_t(pixels.size()));
        put32(header, 32, bmp.colorsUsed);
    }
    if (bmp.headerSize >= 52 && bmp.headerSize != 64)
        for (int i = 0; i < 4 && 40 + 4 * i + 4 <= int(bmp.headerSize); ++i)
            put32(header, 40 + 4 * i, bmp.headerMasks[i]);
    for (const std::uint32_t mask : bmp.masksAfter) {
        header.append(4, '\0');
        put32(header, header.size() - 4, mask);
    }
    for (const std::uint32_t colour : bmp.palette) {
        header.append(char(colour & 0xFF)).append(char(colour >> 8 & 0xFF)).append(char(colour >> 16 & 0xFF));
        if (bmp.headerSize != 12)
            header.append('\0');
    }
    QByteArray file(14, '\0');
    file[0] = 'B';
    file[1] = 'M';
    const std::int64_t offset = bmp.pixelOffset >= 0 ? bmp.pixelOffset : 14 + header.size();
    put32(file, 2, std::uint32_t(14 + header.size() + pixels.size()));
    put32(file, 10, std::uint32_t(offset));
    return file + header + pixels;
}

}  // namespace testing
