#include "plugin/zft_image.h"

#include <QFile>
#include <QImageIOHandler>

namespace zft_image {
namespace {

// Bytes left from the device's position, or nullopt when it cannot know.
std::optional<std::uint64_t> length_left(QIODevice* device) {
    if (device->isSequential())
        return std::nullopt;
    const qint64 left = device->size() - device->pos();
    return static_cast<std::uint64_t>(left < 0 ? 0 : left);
}

}  // namespace

std::optional<zft::ZftHeader> peek_header(QIODevice* device) {
    if (!device || !device->isReadable())
        return std::nullopt;
    const QByteArray bytes = device->peek(zft::kHeaderSize);
    if (bytes.size() < static_cast<qsizetype>(zft::kHeaderSize))
        return std::nullopt;
    return zft::decode_header(std::string_view(bytes.constData(), zft::kHeaderSize));
}

std::optional<std::string> fault(QIODevice* device) {
    if (!device || !device->isReadable())
        return "cannot be read";
    const QByteArray bytes = device->peek(zft::kHeaderSize);
    const std::string_view header(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (const auto length = length_left(device))
        return zft::file_fault(header, *length);
    // A sequential device: what is known is the header, when all of it came.
    if (header.size() < zft::kHeaderSize)
        return zft::file_fault(header, header.size());
    return zft::header_fault(zft::decode_header(header));
}

bool read(QIODevice* device, QImage* image, std::string* error) {
    if (auto problem = fault(device)) {
        *error = std::move(*problem);
        return false;
    }
    const zft::ZftHeader header = *peek_header(device);
    const QSize size(header.width_value(), header.height_value());
    QImage picture;
    if (!QImageIOHandler::allocateImage(size, QImage::Format_RGB888, &picture)) {
        *error = "a picture of " + std::to_string(size.width()) + " × " + std::to_string(size.height()) +
                 " pixels is more than the reader's memory limit allows";
        return false;
    }
    if (device->skip(zft::kHeaderSize) != static_cast<qint64>(zft::kHeaderSize)) {
        *error = "the header could not be read";
        return false;
    }
    const qint64 rowBytes = 3 * static_cast<qint64>(size.width());
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<char*>(picture.scanLine(y));
        // A sequential device may deliver a row in pieces.
        qint64 got = 0;
        while (got < rowBytes) {
            const qint64 n = device->read(row + got, rowBytes - got);
            if (n <= 0 && !device->waitForReadyRead(30000))
                break;
            if (n > 0)
                got += n;
        }
        if (got < rowBytes) {
            *error = "the file ends in pixel row " + std::to_string(y + 1) + " of " + std::to_string(size.height());
            return false;
        }
    }
    *image = std::move(picture);
    return true;
}

bool read_file(const QString& path, QImage* image, std::string* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString().toStdString();
        return false;
    }
    return read(&file, image, error);
}

}  // namespace zft_image
