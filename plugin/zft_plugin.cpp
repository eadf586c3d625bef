#include "plugin/zft_plugin.h"

#include <QFile>
#include <QFileDevice>
#include <QImage>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QSize>
#include <QStringList>
#include <QVariant>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "core/compose.h"
#include "core/files.h"
#include "core/header_text.h"
#include "core/picture.h"
#include "core/zft_codec.h"

Q_LOGGING_CATEGORY(lcZft, "qt.imageformats.zft")

namespace {

// The text keys a read picture carries and a written one takes its notice
// from: the names PNG gives the same things, so a ZFT saved as PNG keeps
// them, and a PNG saved as ZFT gives its copyright as the notice.
const QString kNoticeKey = QStringLiteral("Copyright");
const QString kDateKey = QStringLiteral("Creation Time");

QString notice_text(const zft::ZftHeader& header) { return QString::fromStdString(core::notice_text(header)); }

QString date_text(const zft::ZftHeader& header) { return QString::fromStdString(core::iso_date(header)); }

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

// Judges the picture at the device's position without taking anything
// from it. A sequential device cannot tell its length, so only its header
// is judged there.
std::optional<core::Failure> failure_at(QIODevice* device, std::optional<zft::ZftHeader>* header = nullptr) {
    if (!device || !device->isReadable())
        return core::Failure(core::Failure::Kind::Io, "the device cannot be read");
    const QByteArray bytes = device->peek(zft::kHeaderSize);
    const std::string_view head(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (header && head.size() == zft::kHeaderSize)
        *header = zft::decode_header(head);
    try {
        if (!device->isSequential() || head.size() < zft::kHeaderSize)
            core::check_zft_file(head, device->isSequential() ? head.size()
                                                              : static_cast<std::uint64_t>(
                                                                    std::max<qint64>(0, device->size() - device->pos())));
        else
            core::check_zft_header(zft::decode_header(head));
        return std::nullopt;
    } catch (const core::Failure& failure) {
        return failure;
    }
}

// Exactly n bytes from the device, waiting on a sequential one for them to
// come; fewer only when it ends first.
QByteArray read_exactly(QIODevice* device, qint64 n) {
    QByteArray bytes;
    bytes.reserve(n);
    while (bytes.size() < n) {
        const QByteArray more = device->read(n - bytes.size());
        if (more.isEmpty() && !device->waitForReadyRead(30000))
            break;
        bytes += more;
    }
    return bytes;
}

// All of `bytes` to the device at its position. Throws Failure.
//
// A file is written through its descriptor, whole or not at all
// (core::write_whole), a pipe or a device through Qt: QImageWriter has
// emptied a file it opened by name before any plugin runs, and leaves it as
// the plugin does, so a fragment would stay; and Qt's buffer reports a
// write the disk cut short as "Unknown error", the system tells why.
void write_out(QIODevice* device, std::string_view bytes) {
    auto* file = qobject_cast<QFileDevice*>(device);
    if (!file || file->handle() < 0 || file->isSequential()) {
        if (device->write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
            throw core::Failure(core::Failure::Kind::Io, device->errorString().toStdString());
        // A device keeps what it is given in its buffer, and only its flush
        // meets a full disk: the write has not succeeded until that has.
        if (file && !file->flush())
            throw core::Failure(core::Failure::Kind::Io, file->errorString().toStdString());
        return;
    }
    // Seeking flushes what Qt holds and puts the descriptor where the file's
    // position is.
    if (!file->seek(file->pos()))
        throw core::Failure(core::Failure::Kind::Io, file->errorString().toStdString());
    const int error = core::write_whole(file->handle(), bytes);
    // Qt's position where the descriptor's is.
    (void)file->seek(::lseek(file->handle(), 0, SEEK_CUR));
    if (error)
        throw core::system_failure(error);
}

// " <file name>" for a device that is a file, to name it in the log.
QByteArray named(QIODevice* device) {
    const auto* file = qobject_cast<QFileDevice*>(device);
    return file && !file->fileName().isEmpty() ? ' ' + QFile::encodeName(file->fileName()) : QByteArray();
}

}  // namespace

bool ZftHandler::canRead(QIODevice* device) { return !failure_at(device).has_value(); }

const ZftHandler::Judged& ZftHandler::judged() const {
    if (!judged_) {
        Judged judged;
        judged.failure = failure_at(device(), &judged.header);
        judged_ = std::move(judged);
    }
    return *judged_;
}

bool ZftHandler::canRead() const {
    if (judged().failure)
        return false;
    setFormat("zft");
    return true;
}

bool ZftHandler::read(QImage* image) {
    try {
        if (const std::optional<core::Failure>& failure = judged().failure)
            throw *failure;
        const zft::ZftHeader& header = *judged().header;
        const QByteArray bytes =
            read_exactly(device(), static_cast<qint64>(zft::file_size(header.width_value(), header.height_value())));
        const core::ZftPicture zft = core::decode_zft(
            {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())}, {});
        const QSize size(zft.picture.width(), zft.picture.height());
        QImage picture;
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        const bool allocated = QImageIOHandler::allocateImage(size, QImage::Format_RGB888, &picture);
#else
        picture = QImage(size, QImage::Format_RGB888);
        const bool allocated = !picture.isNull();
#endif
        if (!allocated)
            throw core::Failure(core::Failure::Kind::TooLarge,
                                "a picture of " + std::to_string(size.width()) + " × " + std::to_string(size.height()) +
                                    " pixels is more than the reader's memory limit allows");
        // Three bytes a pixel, as the file has them.
        for (int y = 0; y < size.height(); ++y)
            core::rgb_bytes(zft.picture.row(y), size.width(), picture.scanLine(y));
        if (const QString notice = notice_text(header); !notice.isEmpty())
            picture.setText(kNoticeKey, notice);
        picture.setText(kDateKey, date_text(header));
        *image = std::move(picture);
        return true;
    } catch (const core::Failure& failure) {
        qCWarning(lcZft, "Cannot read the ZFT picture%s: %s", named(device()).constData(), failure.reason().c_str());
    } catch (const std::bad_alloc&) {
        qCWarning(lcZft, "Cannot read the ZFT picture%s: there is not enough memory to read it",
                  named(device()).constData());
    }
    return false;
}

bool ZftHandler::write(const QImage& image) {
    // QImageWriter keeps its own errorString() ("Unknown error") whatever a
    // handler's write() meets: the reason goes to the log, where a user of
    // any program can find it.
    try {
        // Refused before the picture is converted: one too large costs nothing.
        core::check_zft_size(image.width(), image.height());
        core::Stamp stamp;
        QString notice = described(description_, kNoticeKey);
        if (notice.isEmpty())
            notice = image.text(kNoticeKey);
        stamp.notice = notice.toStdString();
        // A date the writer is given must be one; the picture's own, which a
        // ZFT read gave it, is kept where it is one, and another format's
        // free-form creation time is no date of ours to refuse the save for.
        if (const QString given = described(description_, kDateKey); !given.isEmpty()) {
            stamp.date = core::parse_date(given.toStdString());
        } else if (const QString own = image.text(kDateKey); !own.isEmpty()) {
            try {
                stamp.date = core::parse_date(own.toStdString());
            } catch (const core::Failure&) {
            }
        }
        // The whole file before its first byte goes out: every refusal comes
        // before anything is written.
        write_out(device(), core::save_zft(as_picture(image), stamp));
        return true;
    } catch (const core::Failure& failure) {
        qCWarning(lcZft, "Cannot write the ZFT picture%s: %s", named(device()).constData(), failure.reason().c_str());
    } catch (const std::bad_alloc&) {
        qCWarning(lcZft, "Cannot write the ZFT picture%s: there is not enough memory", named(device()).constData());
    }
    // A program saving through QSaveFile keeps its old file only if the new
    // one is not committed; many commit whatever write() said.
    if (auto* save = qobject_cast<QSaveFile*>(device()))
        save->cancelWriting();
    return false;
}

bool ZftHandler::supportsOption(ImageOption option) const {
    return option == Size || option == ImageFormat || option == Description;
}

QVariant ZftHandler::option(ImageOption option) const {
    // Answered from the header alone, and only when the file is sound, so
    // that a reader never sizes anything from a file it would then refuse.
    if (judged().failure)
        return {};
    const zft::ZftHeader* header = &*judged().header;
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
    // reader rather than refused here. Qt says no more than "Unsupported
    // image format" of what no plugin takes, so a file that is asked for as
    // ZFT and begins as one, but is damaged, gets its reason in the log;
    // other bytes under the name are no news worth a warning.
    if (device->isReadable()) {
        if (const std::optional<core::Failure> failure = failure_at(device)) {
            if (format == "zft" && firstAskedAbout(device)) {
                const QByteArray reason = QByteArray::fromStdString(failure->reason());
                if (device->peek(2) == QByteArray::fromStdString(std::string(zft::kVersion)))
                    qCWarning(lcZft, "Cannot read the ZFT picture%s: %s", named(device).constData(), reason.constData());
                else
                    qCDebug(lcZft, "Not a ZFT picture%s: %s", named(device).constData(), reason.constData());
            }
        } else {
            capabilities |= CanRead;
        }
    }
    // Writing is only ever asked for by name, never guessed from content.
    if (device->isWritable() && format == "zft")
        capabilities |= CanWrite;
    return capabilities;
}

bool ZftPlugin::firstAskedAbout(QIODevice* device) const {
    // QImageReader asks more than once about one device; the log says it once.
    const std::lock_guard lock(askedMutex_);
    if (lastAsked_ == device)
        return false;
    lastAsked_ = device;
    return true;
}

QImageIOHandler* ZftPlugin::create(QIODevice* device, const QByteArray& format) const {
    auto* handler = new ZftHandler;
    handler->setDevice(device);
    handler->setFormat(format.isEmpty() ? QByteArray("zft") : format);
    return handler;
}
