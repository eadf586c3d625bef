#include "core/zft_reading.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/decoders/decoder.h"
#include "core/failure.h"
#include "core/file_kind.h"
#include "format/zft_format.h"

namespace core {
namespace {

// Every ZFT file is read here, from a disk or from memory alike.
Picture read_zft(ByteSource& file, const std::string& name) {
    auto fail = [&](const std::string& reason) { return cannot("read", name, reason); };
    try {
        char head[zft::kHeaderSize];
        const std::size_t got = file.read(0, head, sizeof head);
        if (const auto fault = zft::file_fault({head, got}, file.size()))
            throw fail(*fault);
        const zft::ZftHeader header = zft::decode_header({head, sizeof head});
        const int width = header.width_value();
        const int height = header.height_value();
        std::vector<char> bytes(zft::pixel_bytes(width, height));
        const std::size_t pixels = file.read(zft::kHeaderSize, bytes.data(), bytes.size());
        if (pixels < bytes.size())
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
    } catch (const DecodeError& error) {
        throw fail(error.what());
    }
}

}  // namespace

Picture read_zft_file(const std::string& path) {
    auto fail = [&](const std::string& reason) { return cannot("read", path, reason); };
    if (const std::string reason = not_a_file_reason(path); !reason.empty())
        throw fail(reason);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw fail(system_reason(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        throw fail(system_reason(error));
    }
    FileSource file(fd, static_cast<std::uint64_t>(status.st_size));
    return read_zft(file, path);
}

Picture read_zft_data(std::span<const std::uint8_t> bytes, const std::string& name) {
    MemorySource file(bytes.data(), bytes.size());
    return read_zft(file, name);
}

}  // namespace core
