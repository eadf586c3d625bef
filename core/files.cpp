#include "core/files.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "core/atomic_file.h"
#include "core/failure.h"

namespace core {
namespace {

// Why a place holding `status` cannot be read or written as a file, or
// nullptr when it can.
const char* not_a_file(const struct stat& status) {
    if (S_ISDIR(status.st_mode))
        return "it is a folder";
    if (!S_ISREG(status.st_mode))
        return "it is not a regular file (a device or a pipe)";
    return nullptr;
}

// An open file's bytes; owns its descriptor.
class FileSource final : public ByteSource {
public:
    FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~FileSource() override { ::close(fd_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    std::uint64_t size() const override { return size_; }
    std::size_t read(std::uint64_t offset, void* out, std::size_t n) override {
        std::size_t got = 0;
        while (got < n) {
            const ssize_t r = ::pread(fd_, static_cast<char*>(out) + got, n - got, static_cast<off_t>(offset + got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                throw system_failure(errno);
            if (r == 0)
                break;
            got += static_cast<std::size_t>(r);
        }
        return got;
    }

private:
    int fd_;
    std::uint64_t size_;
};

// A full disk or a file-size limit must come back as a failed write the user
// is told about, not as a signal that ends the program.
void ignore_file_size_signal() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

}  // namespace

void check_file_place(std::string_view action, const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return;
    if (const char* reason = not_a_file(status))
        throw cannot(action, path, reason);
}

std::unique_ptr<ByteSource> Files::open(const std::string& path) {
    // A pipe or a device is refused before it is opened and waited on; the
    // open itself never waits, should one take the file's place meanwhile.
    check_file_place("read", path);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw system_failure("read", path, errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        throw system_failure("read", path, error);
    }
    if (const char* reason = not_a_file(status)) {
        ::close(fd);
        throw cannot("read", path, reason);
    }
    return std::make_unique<FileSource>(fd, static_cast<std::uint64_t>(status.st_size));
}

std::unique_ptr<WritableFile> Files::create(const std::string& path, Existing existing) {
    ignore_file_size_signal();
    return std::make_unique<AtomicFile>(path, existing);
}

std::size_t Files::readStream(int fd, void* out, std::size_t n) {
    for (;;) {
        const ssize_t got = ::read(fd, out, n);
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR)
            throw system_failure(errno);
    }
}

void Files::writeStream(int fd, std::string_view bytes) {
    ignore_file_size_signal();
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            throw system_failure(errno);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

Files& system_files() {
    static Files files;
    return files;
}

StreamBytes read_stream(Files& files, int fd, std::string_view name, std::uint64_t keep) {
    StreamBytes stream;
    auto chunk = std::make_unique<char[]>(kFileBufferSize);
    try {
        while (const std::size_t got = files.readStream(fd, chunk.get(), kFileBufferSize)) {
            if (stream.bytes.size() < keep)
                stream.bytes.append(chunk.get(), std::min<std::uint64_t>(got, keep - stream.bytes.size()));
            stream.length += got;
        }
    } catch (const Failure& failure) {
        throw failure.of("read", name);
    } catch (const std::bad_alloc&) {
        throw cannot("read", name, "there is not enough memory to hold it", Failure::Kind::OutOfMemory);
    }
    return stream;
}

}  // namespace core
