#include "plugin/zft_reader.h"

namespace {

// Bytes left from the device's position, or nullopt when it cannot know.
std::optional<std::uint64_t> length_left(QIODevice* device) {
    if (device->isSequential())
        return std::nullopt;
    const qint64 left = device->size() - device->pos();
    return static_cast<std::uint64_t>(left < 0 ? 0 : left);
}

}  // namespace

std::optional<zft::ZftHeader> ZftReader::header() const {
    if (!device_ || !device_->isReadable())
        return std::nullopt;
    const QByteArray bytes = device_->peek(zft::kHeaderSize);
    if (bytes.size() < static_cast<qsizetype>(zft::kHeaderSize))
        return std::nullopt;
    return zft::decode_header(std::string_view(bytes.constData(), zft::kHeaderSize));
}

std::optional<std::string> ZftReader::fault() const {
    if (!device_ || !device_->isReadable())
        return "cannot be read";
    const QByteArray bytes = device_->peek(zft::kHeaderSize);
    const std::string_view head(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (const auto length = length_left(device_))
        return zft::file_fault(head, *length);
    // A sequential device: what is known is the header, when all of it came.
    if (head.size() < zft::kHeaderSize)
        return zft::file_fault(head, head.size());
    return zft::header_fault(zft::decode_header(head));
}

std::optional<std::string> ZftReader::readPixels(const std::function<char*(int y)>& rowAt) {
    const std::optional<zft::ZftHeader> head = header();
    if (!head || device_->skip(zft::kHeaderSize) != static_cast<qint64>(zft::kHeaderSize))
        return "the header could not be read";
    const int width = head->width_value();
    const int height = head->height_value();
    const qint64 rowBytes = 3 * static_cast<qint64>(width);
    for (int y = 0; y < height; ++y) {
        char* row = rowAt(y);
        // A sequential device may deliver a row in pieces.
        qint64 got = 0;
        while (got < rowBytes) {
            const qint64 n = device_->read(row + got, rowBytes - got);
            if (n <= 0 && !device_->waitForReadyRead(30000))
                break;
            if (n > 0)
                got += n;
        }
        if (got < rowBytes)
            return "the file ends in pixel row " + std::to_string(y + 1) + " of " + std::to_string(height);
    }
    return std::nullopt;
}
