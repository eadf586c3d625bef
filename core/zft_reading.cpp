#include "core/zft_reading.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/failure.h"
#include "core/file_kind.h"
#include "format/zft_format.h"

namespace core {
namespace {

// Reads up to n bytes at `offset`; gives how many came, or -1 with errno set.
ssize_t read_at(int fd, char* out, std::size_t n, off_t offset) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, out + got, n - got, offset + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

}  // namespace

Picture read_zft_file(const std::string& path) {
    auto fail = [&](const std::string& reason) { return cannot("read", path, reason); };
    if (const std::string reason = not_a_file_reason(path); !reason.empty())
        throw fail(reason);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw fail(system_reason(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        throw fail(system_reason(errno));
    char head[zft::kHeaderSize];
    const ssize_t got = read_at(fd, head, sizeof head, 0);
    if (got < 0)
        throw fail(system_reason(errno));
    if (const auto fault = zft::file_fault({head, static_cast<std::size_t>(got)}, static_cast<std::uint64_t>(status.st_size)))
        throw fail(*fault);
    const zft::ZftHeader header = zft::decode_header({head, sizeof head});
    const int width = header.width_value();
    const int height = header.height_value();
    std::vector<char> bytes(zft::pixel_bytes(width, height));
    const ssize_t pixels = read_at(fd, bytes.data(), bytes.size(), zft::kHeaderSize);
    if (pixels < 0)
        throw fail(system_reason(errno));
    if (static_cast<std::size_t>(pixels) < bytes.size())
        throw fail("the file ends in pixel row " + std::to_string(pixels / (3 * width) + 1) + " of " +
                   std::to_string(height));
    Picture picture(width, height);
    const auto* rgb = reinterpret_cast<const unsigned char*>(bytes.data());
    for (int y = 0; y < height; ++y) {
        Argb* row = picture.row(y);
        for (int x = 0; x < width; ++x, rgb += 3)
            row[x] = argb(rgb[0], rgb[1], rgb[2]);
    }
    return picture;
}

}  // namespace core
