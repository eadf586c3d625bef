#include "tests/support/fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "format/zft_format.h"

namespace testing {

// qRgb keeps the low 8 bits of each channel: that is the wrapping round.
QRgb asymmetric_colour(int x, int y) { return qRgb(10 + 40 * x, 5 + 50 * y, 250 - 7 * (x + 6 * y)); }

QImage asymmetric(int w, int h) {
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.setPixel(x, y, asymmetric_colour(x, y));
    return picture;
}

QImage filled(int w, int h, QRgb colour) {
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

core::Picture picture_of(const QImage& image) {
    const bool alpha = image.hasAlphaChannel();
    const QImage argb = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    core::Picture picture(argb.width(), argb.height());
    picture.setHasAlpha(alpha);
    for (int y = 0; y < argb.height(); ++y)
        std::copy_n(reinterpret_cast<const core::Argb*>(argb.constScanLine(y)), argb.width(), picture.row(y));
    return picture;
}

QByteArray rgb_bytes(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    QByteArray bytes;
    bytes.reserve(3 * qsizetype(rgb.width()) * rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb pixel = rgb.pixel(x, y);
            bytes += static_cast<char>(qRed(pixel));
            bytes += static_cast<char>(qGreen(pixel));
            bytes += static_cast<char>(qBlue(pixel));
        }
    }
    return bytes;
}

QByteArray header_bytes(const QByteArray& version, const QByteArray& date, const QByteArray& notice,
                        const QByteArray& width, const QByteArray& height) {
    const QByteArray bytes =
        version + date + notice.leftJustified(static_cast<qsizetype>(zft::kNoticeSize), ' ', true) + width + height;
    Q_ASSERT(static_cast<std::size_t>(bytes.size()) == zft::kHeaderSize);
    return bytes;
}

QByteArray header_bytes(int w, int h, const QByteArray& notice, QDate date) {
    return QByteArray::fromStdString(
        zft::encode_header(zft::make_header(date.month(), date.day(), date.year(), notice.toStdString(), w, h)));
}

QByteArray zft_bytes(const QImage& picture, const QByteArray& notice, QDate date) {
    return header_bytes(picture.width(), picture.height(), notice, date) + rgb_bytes(picture);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write_file(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool held_open(const QString& path) {
    const QString file = QFileInfo(path).canonicalFilePath();
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (!file.isEmpty() && QFile::symLinkTarget(descriptors.filePath(fd)) == file)
            return true;
    return false;
}

}  // namespace testing
