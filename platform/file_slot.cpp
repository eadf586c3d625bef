#include "platform/file_slot.h"

#include "core/failure.h"

namespace platform {

void FileSlot::openForWriting(const std::string& path) {
    abandon();
    writer_ = files_.create(path, core::Existing::Replace);
}

void FileSlot::openForReading(const std::string& path) {
    abandon();
    readPath_ = path;
    reader_ = files_.open(readPath_);
}

std::string FileSlot::readCharsSlow(std::size_t n) {
    if (!reader_)
        throw core::Failure(core::Failure::Kind::Io, "file slot 1 is not open for reading");
    std::string chars;
    chars.reserve(n);
    while (chars.size() < n) {
        if (readPos_ == readBuffer_.size()) {
            readOffset_ += readBuffer_.size();
            readBuffer_.resize(core::kFileBufferSize);
            readPos_ = 0;
            try {
                readBuffer_.resize(reader_->read(readOffset_, readBuffer_.data(),
                                                 core::kFileBufferSize));
            } catch (const core::Failure& failure) {
                const std::string path = readPath_;
                abandon();
                throw failure.of("read", path);
            }
            if (readBuffer_.empty())
                throw core::cannot("read", readPath_, "the file ends after " + std::to_string(readOffset_) + " bytes",
                                   core::Failure::Kind::EndOfFile);
        }
        const std::size_t take = std::min(n - chars.size(), readBuffer_.size() - readPos_);
        chars.append(readBuffer_, readPos_, take);
        readPos_ += take;
    }
    return chars;
}

Async<void> FileSlot::close() {
    reader_.reset();
    readBuffer_.clear();
    readPos_ = 0;
    readOffset_ = 0;
    if (writer_) {
        // A failed commit leaves the slot closed, and the target as it was.
        const std::unique_ptr<core::WritableFile> writer = std::move(writer_);
        writer->commit();
        if (auto* deferred = dynamic_cast<DeferredFile*>(writer.get()))
            co_await deferred->placed();
    }
}

void FileSlot::abandon() noexcept {
    if (writer_)
        writer_->abandon();
    writer_.reset();
    reader_.reset();
    readBuffer_.clear();
    readPos_ = 0;
    readOffset_ = 0;
}

}  // namespace platform
