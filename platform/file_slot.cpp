#include "platform/file_slot.h"

#include "core/failure.h"
#include "core/file_kind.h"
#include "platform/text.h"

namespace platform {

void FileSlot::failReading(const QString& reason) {
    const QString path = readPath_;
    abandon();
    throw core::cannot("read", file_name(path), utf8(reason));
}

void FileSlot::openForReading(const QString& path) {
    abandon();
    readPath_ = path;
    if (const std::string reason = core::not_a_file_reason(file_name(path)); !reason.empty())
        failReading(text_of(reason));
    reader_ = std::make_unique<QFile>(path);
    if (!reader_->open(QIODevice::ReadOnly))
        failReading(reader_->errorString());
}

std::string FileSlot::readCharsSlow(std::size_t n) {
    if (!reader_)
        failReading(QStringLiteral("the file is not open for reading"));
    std::string chars;
    chars.reserve(n);
    while (chars.size() < n) {
        if (readPos_ == readBuffer_.size()) {
            readOffset_ += static_cast<qint64>(readBuffer_.size());
            readBuffer_.resize(kBufferSize);
            readPos_ = 0;
            const qint64 got = reader_->read(readBuffer_.data(), static_cast<qint64>(kBufferSize));
            if (got < 0)
                failReading(reader_->errorString());
            readBuffer_.resize(static_cast<std::size_t>(got));
            if (got == 0)
                throw core::Failure::endOfFile("Cannot read " + file_name(readPath_) + ": the file ends after " +
                                               std::to_string(readOffset_) + " bytes");
        }
        const std::size_t take = std::min(n - chars.size(), readBuffer_.size() - readPos_);
        chars.append(readBuffer_, readPos_, take);
        readPos_ += take;
    }
    return chars;
}

void FileSlot::close() {
    reader_.reset();
    readBuffer_.clear();
    readPos_ = 0;
    readOffset_ = 0;
    writer_.commit();
}

void FileSlot::abandon() noexcept {
    writer_.abandon();
    reader_.reset();
    readBuffer_.clear();
    readPos_ = 0;
    readOffset_ = 0;
}

}  // namespace platform
