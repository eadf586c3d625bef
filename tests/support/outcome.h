// How the conformance corpus says what a reader made of a file: the words of
// its expectation files (tests/format/corpus/NAME.expected, described in
// tests/format/tst_conformance.cpp), for the program that wrote them, the
// tests that check readers against them and the Qt 5 and Qt 6 reader.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>
#include <algorithm>
#include <zlib.h>

namespace testing {

// The lines of an expectation file by their first word, "strict" and
// "previewer", without it; comments left out.
inline QHash<QString, QString> read_expectation(const QString& path) {
    QFile file(path);
    QHash<QString, QString> lines;
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts))
        if (!line.startsWith(u'#'))
            lines[line.section(QStringLiteral(": "), 0, 0)] = line.section(QStringLiteral(": "), 1);
    return lines;
}

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

// What the previewer does with `file` when it reads the picture's size as
// `size` and trusts it: "painted 6x5 crc32 1a2b3c4d", or "painted 14 of 6x5
// crc32 1a2b3c4d, then EndOfFile" when the file holds fewer pixels; for a
// file shorter than the header (no size), "refused EndOfFile".
inline QString previewed(const QByteArray& file, QSize size) {
    if (file.size() < 64 || !size.isValid())
        return QStringLiteral("refused EndOfFile");
    const qint64 pixels = qint64(size.width()) * size.height();
    const qint64 painted = std::min<qint64>(pixels, (file.size() - 64) / 3);
    const QString some = painted < pixels ? QStringLiteral("%1 of ").arg(painted) : QString();
    return QStringLiteral("painted %1%2x%3 ").arg(some).arg(size.width()).arg(size.height()) +
           crc_text(rgb_crc(file.mid(64, 3 * painted))) +
           (painted < pixels ? QStringLiteral(", then EndOfFile") : QString());
}

}  // namespace testing
