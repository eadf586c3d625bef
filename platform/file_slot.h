// The program's one numbered file slot: open for writing bytes or for
// reading them, never both.
//
// Writing goes through the atomic writer: the target is replaced only when
// the slot is closed with everything written, and a slot abandoned or a
// program killed half-way leaves the target as it was. Reading is buffered,
// since callers take a few bytes at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/files.h"
#include "platform/async.h"

namespace platform {

// A file being written that reaches its place after the commit, later: a
// browser hands the bytes to the file the user picked through its own
// asynchronous calls. The slot waits for it before it counts as closed.
class DeferredFile : public core::WritableFile {
public:
    // After commit(): settles when the file is in its place, or fails with
    // core::Failure naming the file and the reason.
    virtual Async<void> placed() = 0;
};

class FileSlot {
public:
    // Every file goes through `files`.
    explicit FileSlot(core::Files& files = core::system_files()) : files_(files) {}
    ~FileSlot() { abandon(); }
    FileSlot(const FileSlot&) = delete;
    FileSlot& operator=(const FileSlot&) = delete;

    // Each throws core::Failure naming the file and the reason.
    void openForWriting(const std::string& path);
    void openForReading(const std::string& path);

    // What is being written, for a writer that takes bytes a row at a time;
    // null when the slot is not open for writing.
    core::ByteSink* writer() const { return writer_.get(); }

    // The next n bytes. Throws core::Failure (kind EndOfFile) when fewer are
    // left; the bytes before the end are then used up.
    std::string readChars(std::size_t n) {
        if (readBuffer_.size() - readPos_ >= n) {
            std::string chars(readBuffer_.data() + readPos_, n);
            readPos_ += n;
            return chars;
        }
        return readCharsSlow(n);
    }

    // A write is committed: the target is replaced only now, and the slot
    // is closed once it has been (at once, on the system's disk). Nothing
    // happens when the slot is not open. A failed commit throws
    // core::Failure where it is awaited, and leaves the target as it was.
    Async<void> close();

    // An unfinished write is dropped and the target left as it was; a read
    // is closed. Never throws.
    void abandon() noexcept;

    // How many bytes were taken from the file open for reading.
    std::uint64_t bytesRead() const { return readOffset_ + readPos_; }

private:
    std::string readCharsSlow(std::size_t n);

    core::Files& files_;
    std::string readPath_;
    std::unique_ptr<core::WritableFile> writer_;
    std::unique_ptr<core::ByteSource> reader_;
    std::string readBuffer_;
    std::size_t readPos_ = 0;
    std::uint64_t readOffset_ = 0;  // file offset of readBuffer_[0]
};

}  // namespace platform
