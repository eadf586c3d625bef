#include "plugin/zft_plugin.h"

#include <QDate>
#include <QImage>
#include <QLoggingCategory>
#include <QSize>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <vector>

#include "core/compose.h"
#include "core/header_text.h"
#include "core/picture.h"
#include "plugin/zft_reader.h"

Q_LOGGING_CATEGORY(lcZft, "qt.imageformats.zft")

namespace {

// The text keys a read picture carries and a written one takes its notice
// from: the names PNG gives the same things, so a ZFT saved as PNG keeps
// them, and a PNG saved as ZFT gives its copyright as the notice.
const QString kNoticeKey = QStringLiteral("Copyright");
const QString kDateKey = QStringLiteral("Creation Time");

QString notice_text(const zft::ZftHeader& header) {
    QString notice = QString::fromStdString(core::header_text(header.copyright_notice));
    while (notice.endsWith(u' '))
        notice.chop(1);
    return notice;
}

// The date as year-month-day, from the header's digits as they stand.
QString date_text(const zft::ZftHeader& header) {
    return QString::fromStdString(header.creation_year + '-' + header.creation_month + '-' + header.creation_day);
}

// The value of `key` among QImageWriter::setText()'s "key: text" pairs.
QString described(const QString& description, const QString& key) {
    const QString prefix = key + QStringLiteral(": ");
    for (const QString& pair : description.split(QStringLiteral("\n\n"))) {
        if (pair.startsWith(prefix))
            return pair.mid(prefix.size());
    }
    return {};
}

// The picture as zft convert takes a decoded one: straight (not
// premultiplied) alpha where the image has any, so that both compose its
// transparent pixels alike.
core::Picture as_picture(const QImage& image) {
    const bool alpha = image.hasAlphaChannel();
    const QImage argb = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    core::Picture picture(argb.width(), argb.height());
    picture.setHasAlpha(alpha);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const core::Argb*>(argb.constScanLine(y));
        std::copy_n(row, argb.width(), picture.row(y));
    }
    return picture;
}

}  // namespace

bool ZftHandler::canRead(QIODevice* device) { return !ZftReader(device).fault().has_value(); }

bool ZftHandler::canRead() const {
    if (!canRead(device()))
        return false;
    setFormat("zft");
    return true;
}

bool ZftHandler::read(QImage* image) {
    ZftReader reader(device());
    std::optional<std::string> error = reader.fault();
    QImage picture;
    QString notice;
    QString date;
    if (!error) {
        const zft::ZftHeader header = *reader.header();
        const QSize size(header.width_value(), header.height_value());
        // The rows of a ZFT file are those of an RGB888 image.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        const bool allocated = QImageIOHandler::allocateImage(size, QImage::Format_RGB888, &picture);
#else
        picture = QImage(size, QImage::Format_RGB888);
        const bool allocated = !picture.isNull();
#endif
        if (!allocated)
            error = "a picture of " + std::to_string(size.width()) + " × " + std::to_string(size.height()) +
                    " pixels is more than the reader's memory limit allows";
        else
            error = reader.readPixels([&](int y) { return reinterpret_cast<char*>(picture.scanLine(y)); });
        notice = notice_text(header);
        date = date_text(header);
    }
    if (error) {
        qCWarning(lcZft, "Cannot read the ZFT picture: %s", error->c_str());
        return false;
    }
    if (!notice.isEmpty())
        picture.setText(kNoticeKey, notice);
    picture.setText(kDateKey, date);
    *image = std::move(picture);
    return true;
}

bool ZftHandler::write(const QImage& image) {
    // QImageWriter keeps its own errorString() ("Unknown error") whatever a
    // handler's write() meets: the reason goes to the log, where a user of
    // any program can find it.
    if (!zft::fits_header(image.width(), image.height())) {
        qCWarning(lcZft,
                  "Cannot write a ZFT picture of %d × %d pixels: a ZFT picture can be at most 999 × 999 pixels",
                  image.width(), image.height());
        return false;
    }
    QString notice = described(description_, kNoticeKey);
    if (notice.isEmpty())
        notice = image.text(kNoticeKey);
    const QDate today = QDate::currentDate();
    const core::Picture shown = core::picture_as_shown(as_picture(image), core::kWindowColour);
    const std::string header = zft::encode_header(zft::make_header(
        today.month(), today.day(), today.year(), core::notice_bytes(notice.toStdString()), shown.width(), shown.height()));
    QIODevice* out = device();
    bool written = out->write(header.data(), static_cast<qint64>(header.size())) == static_cast<qint64>(header.size());
    std::vector<char> row(3 * static_cast<std::size_t>(shown.width()));
    for (int y = 0; written && y < shown.height(); ++y) {
        core::pixel_row(shown, y, row.data());
        written = out->write(row.data(), static_cast<qint64>(row.size())) == static_cast<qint64>(row.size());
    }
    if (!written)
        qCWarning(lcZft, "Cannot write the ZFT picture: %s", qPrintable(out->errorString()));
    return written;
}

bool ZftHandler::supportsOption(ImageOption option) const {
    return option == Size || option == ImageFormat || option == Description;
}

QVariant ZftHandler::option(ImageOption option) const {
    // Answered from the header alone, and only when the header is sound, so
    // that a reader never sizes anything from a file it would then refuse.
    const auto header = ZftReader(device()).header();
    if (!header || zft::header_fault(*header))
        return {};
    if (option == Size)
        return QSize(header->width_value(), header->height_value());
    if (option == ImageFormat)
        return QImage::Format_RGB888;
    if (option == Description) {
        QStringList pairs;
        if (const QString notice = notice_text(*header); !notice.isEmpty())
            pairs << kNoticeKey + QStringLiteral(": ") + notice;
        pairs << kDateKey + QStringLiteral(": ") + date_text(*header);
        return pairs.join(QStringLiteral("\n\n"));
    }
    return {};
}

void ZftHandler::setOption(ImageOption option, const QVariant& value) {
    if (option == Description)
        description_ = value.toString();
}

QImageIOPlugin::Capabilities ZftPlugin::capabilities(QIODevice* device, const QByteArray& format) const {
    if (!format.isEmpty() && format != "zft")
        return {};
    if (!device || !device->isOpen())
        return format == "zft" ? CanRead | CanWrite : Capabilities();
    Capabilities capabilities;
    // Even a .zft name proves nothing: a mislabelled PNG is left to the PNG
    // reader rather than refused here.
    if (device->isReadable() && ZftHandler::canRead(device))
        capabilities |= CanRead;
    // Writing is only ever asked for by name, never guessed from content.
    if (device->isWritable() && format == "zft")
        capabilities |= CanWrite;
    return capabilities;
}

QImageIOHandler* ZftPlugin::create(QIODevice* device, const QByteArray& format) const {
    auto* handler = new ZftHandler;
    handler->setDevice(device);
    handler->setFormat(format.isEmpty() ? QByteArray("zft") : format);
    return handler;
}
