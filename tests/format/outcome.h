// How the conformance corpus says what a reader made of a file: the words of
// its expectation files (corpus/NAME.expected), shared by the program that
// wrote them (zft_make_corpus), the test that checks every reader against
// them (tst_conformance) and its Qt 5 and Qt 6 reader (zft_qt_reader).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <zlib.h>

namespace testing {

// CRC-32 of `rows` rows of 3·width bytes each, `stride` bytes apart.
inline quint32 rgb_crc(const uchar* first, qsizetype stride, int width, int rows) {
    uLong crc = crc32(0L, Z_NULL, 0);
    for (int y = 0; y < rows; ++y)
        crc = crc32(crc, first + y * stride, static_cast<uInt>(3 * width));
    return static_cast<quint32>(crc);
}

inline quint32 rgb_crc(const QByteArray& rgb) {
    return static_cast<quint32>(
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(rgb.constData()), static_cast<uInt>(rgb.size())));
}

inline QString crc_text(quint32 crc) { return QStringLiteral("crc32 %1").arg(crc, 8, 16, QLatin1Char('0')); }

// "accepted 6x5 crc32 1a2b3c4d": a picture of that size whose red, green and
// blue bytes, row by row, have that CRC-32.
inline QString accepted(int width, int height, quint32 crc) {
    return QStringLiteral("accepted %1x%2 ").arg(width).arg(height) + crc_text(crc);
}

inline QString accepted(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    return accepted(rgb.width(), rgb.height(), rgb_crc(rgb.constBits(), rgb.bytesPerLine(), rgb.width(), rgb.height()));
}

}  // namespace testing
