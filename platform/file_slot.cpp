#include "platform/file_slot.h"

#include <QDir>
#include <QFileInfo>
#include <csignal>

#include "platform/failure.h"
#include "platform/file_kind.h"

namespace platform {

FileSlot::FileSlot() {
    // A full disk or a file-size limit must come back as a failed write the
    // user is told about, not as a signal that kills the program.
    static const bool fileSizeSignalIgnored = (std::signal(SIGXFSZ, SIG_IGN), true);
    (void)fileSizeSignalIgnored;
}

FileSlot::~FileSlot() { abandon(); }

void FileSlot::fail(const QString& action, const QString& reason) {
    const QString path = path_;
    abandon();
    throw Failure(Failure::Kind::Io,
                  QStringLiteral("Cannot %1 %2: %3").arg(action, QDir::toNativeSeparators(path), reason));
}

void FileSlot::openForWriting(const QString& path) {
    abandon();
    path_ = path;
    if (const QString reason = notAFileReason(path); !reason.isEmpty())
        fail(QStringLiteral("write"), reason);
    writer_ = std::make_unique<QSaveFile>(path);
    if (!writer_->open(QIODevice::WriteOnly))
        fail(QStringLiteral("write"), writer_->errorString());
    if (!writeBuffer_)
        writeBuffer_ = std::make_unique<char[]>(kBufferSize);
    writeAt_ = writeBuffer_.get();
    writeEnd_ = writeAt_ + kBufferSize;
}

void FileSlot::openForReading(const QString& path) {
    abandon();
    path_ = path;
    if (const QString reason = notAFileReason(path); !reason.isEmpty())
        fail(QStringLiteral("read"), reason);
    reader_ = std::make_unique<QFile>(path);
    if (!reader_->open(QIODevice::ReadOnly))
        fail(QStringLiteral("read"), reader_->errorString());
}

void FileSlot::writeAll(const char* data, qint64 length) {
    // A write the kernel cuts short (a full disk, a file-size limit) reports
    // no error; only the write of the rest says why.
    while (length > 0) {
        const qint64 written = writer_->write(data, length);
        if (written <= 0)
            fail(QStringLiteral("write"), writer_->errorString());
        data += written;
        length -= written;
    }
}

void FileSlot::flushWrites() {
    char* const start = writeBuffer_.get();
    const qint64 length = writeAt_ - start;
    writeAt_ = start;
    writeAll(start, length);
}

void FileSlot::writeTextSlow(std::string_view bytes) {
    if (!writer_)
        fail(QStringLiteral("write"), QStringLiteral("the file is not open for writing"));
    flushWrites();
    if (bytes.size() >= kBufferSize) {
        writeAll(bytes.data(), static_cast<qint64>(bytes.size()));
        return;
    }
    std::memcpy(writeAt_, bytes.data(), bytes.size());
    writeAt_ += bytes.size();
}

std::string FileSlot::readCharsSlow(std::size_t n) {
    if (!reader_)
        fail(QStringLiteral("read"), QStringLiteral("the file is not open for reading"));
    std::string chars;
    chars.reserve(n);
    while (chars.size() < n) {
        if (readPos_ == readBuffer_.size()) {
            readOffset_ += static_cast<qint64>(readBuffer_.size());
            readBuffer_.resize(kBufferSize);
            readPos_ = 0;
            const qint64 got = reader_->read(readBuffer_.data(), static_cast<qint64>(kBufferSize));
            if (got < 0)
                fail(QStringLiteral("read"), reader_->errorString());
            readBuffer_.resize(static_cast<std::size_t>(got));
            if (got == 0)
                throw Failure(Failure::Kind::EndOfFile, QStringLiteral("Cannot read %1: the file ends after %2 bytes")
                                                            .arg(QDir::toNativeSeparators(path_),
                                                                 QString::number(readOffset_)));
        }
        const std::size_t take = std::min(n - chars.size(), readBuffer_.size() - readPos_);
        chars.append(readBuffer_, readPos_, take);
        readPos_ += take;
    }
    return chars;
}

qint64 FileSlot::size() const { return reader_ ? reader_->size() : 0; }

void FileSlot::close() {
    if (reader_) {
        reader_.reset();
        readBuffer_.clear();
        readPos_ = 0;
        readOffset_ = 0;
    }
    if (writer_) {
        flushWrites();
        if (!writer_->commit())
            fail(QStringLiteral("write"), writer_->errorString());
        writer_.reset();
        writeAt_ = nullptr;
        writeEnd_ = nullptr;
    }
}

void FileSlot::abandon() noexcept {
    if (writer_)
        writer_->cancelWriting();
    writer_.reset();
    reader_.reset();
    writeAt_ = nullptr;
    writeEnd_ = nullptr;
    readBuffer_.clear();
    readPos_ = 0;
    readOffset_ = 0;
}

}  // namespace platform
