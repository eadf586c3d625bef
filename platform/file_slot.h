// The program's one numbered file slot: open for writing text (one byte per
// character) or for reading bytes, never both.
//
// Writing goes to a temporary file that takes the target's place only when
// the slot is closed with everything written; a slot abandoned or a program
// killed half-way leaves the target as it was. Both directions are buffered,
// since callers move a few bytes at a time.
#pragma once

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class FileSlot {
public:
    FileSlot();
    ~FileSlot();
    FileSlot(const FileSlot&) = delete;
    FileSlot& operator=(const FileSlot&) = delete;

    // Each throws Failure naming the file and the reason.
    void openForWriting(const QString& path);
    void openForReading(const QString& path);

    // Throws Failure when the slot is not open for writing or the write fails.
    void writeText(std::string_view bytes) {
        if (static_cast<std::size_t>(writeEnd_ - writeAt_) >= bytes.size()) {
            std::memcpy(writeAt_, bytes.data(), bytes.size());
            writeAt_ += bytes.size();
            return;
        }
        writeTextSlow(bytes);
    }

    // The next n bytes. Throws Failure (kind EndOfFile) when fewer are left;
    // the bytes before the end are then used up.
    std::string readChars(std::size_t n) {
        if (readBuffer_.size() - readPos_ >= n) {
            std::string chars(readBuffer_.data() + readPos_, n);
            readPos_ += n;
            return chars;
        }
        return readCharsSlow(n);
    }

    // A write is committed: the target is replaced only now. Nothing happens
    // when the slot is not open.
    void close();

    // An unfinished write is dropped and the target left as it was; a read
    // is closed. Never throws.
    void abandon() noexcept;

    bool isOpen() const { return writer_ || reader_; }
    const QString& path() const { return path_; }

    // Length of the file open for reading, and how many bytes were taken.
    qint64 size() const;
    qint64 bytesRead() const { return readOffset_ + static_cast<qint64>(readPos_); }

private:
    static constexpr std::size_t kBufferSize = 1 << 16;

    void flushWrites();
    void writeTextSlow(std::string_view bytes);
    void writeAll(const char* data, qint64 length);
    std::string readCharsSlow(std::size_t n);
    [[noreturn]] void fail(const QString& action, const QString& reason);

    QString path_;
    std::unique_ptr<QSaveFile> writer_;
    std::unique_ptr<QFile> reader_;
    // Writes collect in writeBuffer_ from its start to writeAt_; with no
    // file open for writing writeAt_ and writeEnd_ are null, so every write
    // takes the slow way, which says so.
    std::unique_ptr<char[]> writeBuffer_;
    char* writeAt_ = nullptr;
    char* writeEnd_ = nullptr;
    std::string readBuffer_;
    std::size_t readPos_ = 0;
    qint64 readOffset_ = 0;  // file offset of readBuffer_[0]
};

}  // namespace platform
