// The one way to files. Every reader and writer of the program opens, sizes
// and reads files, and writes them whole or not at all, through a Files:
// the system's own (system_files()) in the program and the tools, one of a
// test's making where a test needs a read that comes short or a disk that
// fills up.
//
// Reading takes bytes at any offset (ByteSource); writing goes to a sink in
// order (ByteSink), and a file written takes its name only when committed
// (WritableFile, core/atomic_file.h).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace core {

// What the readers and writers take from, and give to, the system at a time.
inline constexpr std::size_t kFileBufferSize = 1 << 16;

// The bytes of a file, read at any offset.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // The file's size, or `most` when it is longer: what a reader that needs
    // `most` bytes asks, so that a stream is read no further than that.
    virtual std::uint64_t sizeUpTo(std::uint64_t most) const { return std::min(size(), most); }
    // Copies up to n bytes from `offset` into `out`; gives how many there
    // were (fewer only at the end of the file). Throws Failure (Io, not yet
    // said of a file) when the system cannot read them.
    virtual std::size_t read(std::uint64_t offset, void* out, std::size_t n) = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, std::size_t size) : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, void* out, std::size_t n) override {
        if (offset >= size_)
            return 0;
        const std::size_t take = n < size_ - offset ? n : static_cast<std::size_t>(size_ - offset);
        std::memcpy(out, data_ + offset, take);
        return take;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Where bytes go, in order. write() throws Failure when they cannot go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(std::string_view bytes) = 0;
};

class StringSink final : public ByteSink {
public:
    void write(std::string_view bytes) override { bytes_.append(bytes); }
    std::string& bytes() { return bytes_; }

private:
    std::string bytes_;
};

// What a new file does to a file of its name that exists when it is
// committed: Keep refuses to replace it.
enum class Existing { Replace, Keep };

// A file being written. Nobody sees its content until commit(), which gives
// it its name in one step; abandon(), a failure, or the program's end
// before commit() leave an existing file of that name as it was.
class WritableFile : public ByteSink {
public:
    // Each throws Failure: "Cannot write <path>: <reason>".
    virtual void commit() = 0;
    // Drops what was written. Never throws.
    virtual void abandon() noexcept = 0;
};

class Files {
public:
    virtual ~Files() = default;

    // The regular file at `path`, open for reading. A folder, a pipe or a
    // device is refused before anything waits on it. Throws Failure:
    // "Cannot read <path>: <reason>".
    virtual std::unique_ptr<ByteSource> open(const std::string& path);

    // A new file that takes the name `path` when committed.
    virtual std::unique_ptr<WritableFile> create(const std::string& path, Existing existing);

    // Up to n bytes from the stream on descriptor `fd` (standard input):
    // fewer only at its end, none after it. Throws Failure (Io, not yet said
    // of a file).
    virtual std::size_t readStream(int fd, void* out, std::size_t n);

    // All of `bytes` to the stream on descriptor `fd` (standard output).
    // Throws Failure (Io, not yet said of a file).
    virtual void writeStream(int fd, std::string_view bytes);

    // The stream on descriptor `fd` (standard input) as a file to read at
    // any offset. It is read only as far as the reader asks, so that a
    // picture refused by its headers is refused before the rest comes, and
    // what is read is kept in an unnamed temporary file (in $TMPDIR, else
    // /tmp), so that it costs no memory. A read, size() or sizeUpTo() that
    // would take it past `most` bytes throws Failure (TooLarge, not yet said of a
    // file) whose reason is `tooLong`. Throws Failure (Io, not yet said of a
    // file) when the temporary file cannot be made.
    virtual std::unique_ptr<ByteSource> openStream(int fd, std::uint64_t most, std::string_view tooLong);
};

// The system's files.
Files& system_files();

// Reads the stream on `fd` to its end, which must come within `most`
// bytes: a longer stream is refused after most + 1 bytes with a Failure
// (TooLarge) whose reason is `tooLong`. Throws Failure said of `name`.
std::string read_stream(Files& files, int fd, std::string_view name, std::uint64_t most, std::string_view tooLong);

// Refuses the place `path` when something there is no regular file: a
// folder, a pipe or a device, which a file is never written over and a
// reader would wait on. Nothing there is no failure. Throws Failure:
// "Cannot <action> <path>: it is a folder".
void check_file_place(std::string_view action, const std::string& path);

// All of `bytes` at the position of the open file `fd`, or none of them:
// the write of the hosts that open the file themselves and hand it over
// (gdk-pixbuf's FILE, Qt's QFile, Python's file object). In a regular file,
// bytes that would pass the process's file size limit are refused before
// the first goes out, since the system would end the process halfway with
// SIGXFSZ; and when the disk takes only some of them (a full disk), those
// are cut off again from the file the descriptor holds, which through a
// symbolic link is all that can: a host that removes the name it opened
// when the save fails removes only the link. Gives 0, or the system's
// error number (EFBIG for the limit), for each host to say its own way.
int write_whole(int fd, std::string_view bytes) noexcept;

}  // namespace core
