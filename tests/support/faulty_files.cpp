#include "tests/support/faulty_files.h"

#include "core/failure.h"

namespace testing {
namespace {

class FaultySource final : public core::ByteSource {
public:
    FaultySource(std::unique_ptr<core::ByteSource> file, std::uint64_t limit, int error)
        : file_(std::move(file)), limit_(limit), error_(error) {}
    std::uint64_t size() const override { return file_->size(); }
    std::size_t read(std::uint64_t offset, void* out, std::size_t n) override {
        if (offset + n > limit_)
            throw core::system_failure(error_);
        return file_->read(offset, out, n);
    }

private:
    std::unique_ptr<core::ByteSource> file_;
    std::uint64_t limit_;
    int error_;
};

class FaultyFile final : public core::WritableFile {
public:
    FaultyFile(std::unique_ptr<core::WritableFile> file, std::string path, std::uint64_t limit, int error)
        : file_(std::move(file)), path_(std::move(path)), limit_(limit), error_(error) {}
    // Fails as the system's files do, naming the file.
    void write(std::string_view bytes) override {
        if (written_ + bytes.size() > limit_) {
            file_->abandon();
            throw core::system_failure("write", path_, error_);
        }
        written_ += bytes.size();
        file_->write(bytes);
    }
    void commit() override { file_->commit(); }
    void abandon() noexcept override { file_->abandon(); }

private:
    std::unique_ptr<core::WritableFile> file_;
    std::string path_;
    std::uint64_t limit_;
    int error_;
    std::uint64_t written_ = 0;
};

}  // namespace

std::unique_ptr<core::ByteSource> FaultyFiles::open(const std::string& path) {
    if (whileOpening)
        whileOpening();
    std::unique_ptr<core::ByteSource> file = core::Files::open(path);
    if (readLimit_ == kNoLimit)
        return file;
    return std::make_unique<FaultySource>(std::move(file), readLimit_, readError_);
}

std::unique_ptr<core::WritableFile> FaultyFiles::create(const std::string& path, core::Existing existing) {
    std::unique_ptr<core::WritableFile> file = core::Files::create(path, existing);
    if (writeLimit_ == kNoLimit)
        return file;
    return std::make_unique<FaultyFile>(std::move(file), path, writeLimit_, writeError_);
}

}  // namespace testing
