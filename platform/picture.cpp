#include "platform/picture.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include "platform/failure.h"
#include "platform/file_kind.h"

namespace platform {
namespace {

Failure cannotRead(const QString& path, const QString& reason) {
    return Failure(Failure::Kind::Decode,
                   QStringLiteral("Cannot read the picture %1: %2").arg(QDir::toNativeSeparators(path), reason));
}

// Qt's readers say "Unsupported image format" for a file that is missing or
// unreadable too; say what the user can act on.
QString readerReason(const QString& path, const QImageReader& reader) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("no such file");
    if (const QString reason = notAFileReason(path); !reason.isEmpty())
        return reason;
    if (!info.isReadable())
        return QStringLiteral("permission denied");
    if (reader.error() == QImageReader::UnsupportedFormatError)
        return QStringLiteral("not a picture in a format this program reads");
    return reader.errorString();
}

// A pipe or a device is refused before a reader opens it and waits.
void refuseNonFile(const QString& path) {
    if (const QString reason = notAFileReason(path); !reason.isEmpty())
        throw cannotRead(path, reason);
}

}  // namespace

QSize picture_size(const QString& path) {
    refuseNonFile(path);
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!reader.canRead())
        throw cannotRead(path, readerReason(path, reader));
    return size;
}

Picture load_picture(const QString& path) {
    refuseNonFile(path);
    QImageReader reader(path);
    reader.setAutoTransform(false);
    Picture picture;
    if (!reader.read(&picture))
        throw cannotRead(path, readerReason(path, reader));
    return picture;
}

Picture composable(const Picture& picture) {
    if (picture.isNull())
        return picture;
    return picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
}

}  // namespace platform
