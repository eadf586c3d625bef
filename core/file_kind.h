// What kind of thing a path names, in the words a message to the user needs.
#pragma once

#include <string>

#include "core/decoders/decoder.h"

namespace core {

// Why `path` cannot be read or written as a file, or an empty text when it
// can be tried. A folder cannot; nor can a pipe or a device: opening one to
// read can wait for ever, and replacing one by a finished file (the way files
// are written here) would destroy it.
std::string not_a_file_reason(const std::string& path);

// An open file's bytes, for the readers that take any ByteSource. It owns
// `fd`; a read the system refuses throws DecodeError with the system's reason.
class FileSource final : public ByteSource {
public:
    FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, void* out, std::size_t n) override;

private:
    int fd_;
    std::uint64_t size_;
};

}  // namespace core
