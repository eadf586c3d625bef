#include "core/decoding.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include "core/failure.h"
#include "core/file_kind.h"

namespace core {
namespace {

Failure cannot_read(const QString& path, const QString& reason) { return cannot(QStringLiteral("read the picture"), path, reason); }

// Qt's readers say "Unsupported image format" for a file that is missing or
// unreadable too; say what the user can act on.
QString reader_reason(const QString& path, const QImageReader& reader) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("no such file");
    if (const QString reason = not_a_file_reason(path); !reason.isEmpty())
        return reason;
    if (!info.isReadable())
        return QStringLiteral("permission denied");
    if (reader.error() == QImageReader::UnsupportedFormatError)
        return QStringLiteral("not a picture in a format this program reads");
    return reader.errorString();
}

// A pipe or a device is refused before a reader opens it and waits.
void refuse_non_file(const QString& path) {
    if (const QString reason = not_a_file_reason(path); !reason.isEmpty())
        throw cannot_read(path, reason);
}

}  // namespace

Size picture_size(const QString& path) {
    refuse_non_file(path);
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!reader.canRead())
        throw cannot_read(path, reader_reason(path, reader));
    return {size.width(), size.height()};
}

Picture load_picture(const QString& path) {
    refuse_non_file(path);
    QImageReader reader(path);
    reader.setAutoTransform(false);
    QImage image;
    if (!reader.read(&image))
        throw cannot_read(path, reader_reason(path, reader));
    const bool alpha = image.hasAlphaChannel();
    image = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    Picture picture(image.width(), image.height());
    picture.setHasAlpha(alpha);
    for (int y = 0; y < image.height(); ++y)
        std::copy_n(reinterpret_cast<const Argb*>(image.constScanLine(y)), image.width(), picture.row(y));
    return picture;
}

Failure too_large(const QString& path, Size size, const QString& hint) {
    QString reason = QStringLiteral("the picture is %1 × %2 pixels, and a ZFT picture can be at most 999 × 999 pixels")
                         .arg(size.width)
                         .arg(size.height);
    if (!hint.isEmpty())
        reason += QStringLiteral(" (%1)").arg(hint);
    return cannot(QStringLiteral("convert"), path, reason);
}

}  // namespace core
