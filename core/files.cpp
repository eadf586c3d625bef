#include "core/files.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/resource.h>
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

// How much to read of a stream bounded to `most` bytes of which `kept` are
// read: a buffer's worth, and never more than one byte past the bound,
// which tells that the stream is longer.
std::size_t next_read(std::uint64_t most, std::uint64_t kept) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(most - kept, kFileBufferSize - 1)) + 1;
}

// Where the bytes of a stream are kept while it is read: an unnamed file
// in the temporary folder, which goes with its descriptor.
int make_spool(std::string& folder) {
    const char* tmpdir = std::getenv("TMPDIR");
    folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    // A file system without unnamed files: a name that goes at once.
    std::string name = folder + "/.zft-stream-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(name.c_str());
    return fd;
}

// A stream, read into its spool as far as its reader asks.
class StreamSource final : public ByteSource {
public:
    StreamSource(Files& files, int fd, std::uint64_t most, std::string_view tooLong, int spool, std::string folder)
        : files_(files), fd_(fd), most_(most), tooLong_(tooLong), spool_(spool), folder_(std::move(folder)) {}
    ~StreamSource() override { ::close(spool_); }
    StreamSource(const StreamSource&) = delete;
    StreamSource& operator=(const StreamSource&) = delete;

    // Its whole length: all of it is read.
    std::uint64_t size() const override {
        pull(std::numeric_limits<std::uint64_t>::max());
        return kept_;
    }

    std::uint64_t sizeUpTo(std::uint64_t most) const override {
        pull(most);
        return std::min(kept_, most);
    }

    std::size_t read(std::uint64_t offset, void* out, std::size_t n) override {
        pull(offset > std::numeric_limits<std::uint64_t>::max() - n ? std::numeric_limits<std::uint64_t>::max()
                                                                     : offset + n);
        if (offset >= kept_)
            return 0;
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, kept_ - offset));
        std::size_t got = 0;
        while (got < take) {
            const ssize_t r = ::pread(spool_, static_cast<char*>(out) + got, take - got, static_cast<off_t>(offset + got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                throw spool_failure(r < 0 ? errno : EIO);
            got += static_cast<std::size_t>(r);
        }
        return got;
    }

private:
    // Reads on until `length` bytes are kept or the stream ends; past the
    // bound by one byte at most, which tells that the stream is longer.
    void pull(std::uint64_t length) const {
        const std::uint64_t goal = std::min(length, most_ + 1);
        if (longer_ && goal > most_)
            throw Failure(Failure::Kind::TooLarge, tooLong_);
        while (!ended_ && kept_ < goal) {
            if (!chunk_)
                chunk_ = std::make_unique<char[]>(kFileBufferSize);
            const std::size_t got = files_.readStream(
                fd_, chunk_.get(), static_cast<std::size_t>(std::min<std::uint64_t>(goal - kept_, kFileBufferSize)));
            if (got == 0) {
                ended_ = true;
                break;
            }
            if (got > most_ - kept_) {
                longer_ = true;
                throw Failure(Failure::Kind::TooLarge, tooLong_);
            }
            for (std::size_t written = 0; written < got;) {
                const ssize_t w = ::pwrite(spool_, chunk_.get() + written, got - written,
                                           static_cast<off_t>(kept_ + written));
                if (w < 0 && errno == EINTR)
                    continue;
                if (w < 0)
                    throw spool_failure(errno);
                written += static_cast<std::size_t>(w);
            }
            kept_ += got;
        }
    }

    Failure spool_failure(int error) const {
        return Failure(Failure::Kind::Io, "it cannot be kept in " + folder_ + ": " + system_reason(error));
    }

    Files& files_;
    int fd_;
    std::uint64_t most_;
    std::string tooLong_;
    int spool_;
    std::string folder_;
    mutable std::unique_ptr<char[]> chunk_;
    mutable std::uint64_t kept_ = 0;
    mutable bool ended_ = false;
    mutable bool longer_ = false;  // than most_
};

// A full disk or a file-size limit must come back as a failed write the user
// is told about, not as a signal that ends the program.
void ignore_file_size_signal() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

// Writes all of `bytes` at the descriptor's position; gives 0 or the error
// number of the write that failed. A write the system cuts short (a full
// disk) reports no error; only the write of the rest says why.
int write_all(int fd, std::string_view bytes) noexcept {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

}  // namespace

int write_whole(int fd, std::string_view bytes) noexcept {
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return errno;
    if (!S_ISREG(status.st_mode))
        return write_all(fd, bytes);  // a device or a pipe keeps nothing to cut off
    const int flags = ::fcntl(fd, F_GETFL);
    const off_t start = flags >= 0 && (flags & O_APPEND) ? status.st_size : ::lseek(fd, 0, SEEK_CUR);
    if (start < 0)
        return errno;
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<std::uint64_t>(start) + bytes.size() > limit.rlim_cur)
        return EFBIG;
    int error = write_all(fd, bytes);
    // Some disks (a network's) tell they are full only when the bytes reach
    // them; a file system that cannot sync is no failed write.
    if (!error && ::fdatasync(fd) != 0 && errno != EINVAL)
        error = errno;
    if (error) {
        (void)::ftruncate(fd, start);
        (void)::lseek(fd, start, SEEK_SET);
    }
    return error;
}

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
    if (const int error = write_all(fd, bytes))
        throw system_failure(error);
}

std::unique_ptr<ByteSource> Files::openStream(int fd, std::uint64_t most, std::string_view tooLong) {
    std::string folder;
    const int spool = make_spool(folder);
    if (spool < 0)
        throw Failure(Failure::Kind::Io, "it cannot be kept in " + folder + ": " + system_reason(errno));
    return std::make_unique<StreamSource>(*this, fd, most, tooLong, spool, std::move(folder));
}

Files& system_files() {
    static Files files;
    return files;
}

std::string read_stream(Files& files, int fd, std::string_view name, std::uint64_t most, std::string_view tooLong) {
    std::string bytes;
    auto chunk = std::make_unique<char[]>(kFileBufferSize);
    try {
        while (const std::size_t got = files.readStream(fd, chunk.get(), next_read(most, bytes.size()))) {
            if (got > most - bytes.size())
                throw Failure(Failure::Kind::TooLarge, std::string(tooLong));
            bytes.append(chunk.get(), got);
        }
    } catch (const Failure& failure) {
        throw failure.of("read", name);
    } catch (const std::bad_alloc&) {
        throw cannot("read", name, "there is not enough memory to hold it", Failure::Kind::OutOfMemory);
    }
    return bytes;
}

}  // namespace core
