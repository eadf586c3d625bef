#include "core/file_kind.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "core/failure.h"

namespace core {

std::string not_a_file_reason(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return {};
    if (S_ISDIR(status.st_mode))
        return "it is a folder";
    if (!S_ISREG(status.st_mode))
        return "it is not a regular file (a device or a pipe)";
    return {};
}

FileSource::~FileSource() { ::close(fd_); }

std::size_t FileSource::read(std::uint64_t offset, void* out, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd_, static_cast<char*>(out) + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            throw DecodeError(system_reason(errno));
        if (r == 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

}  // namespace core
