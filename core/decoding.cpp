#include "core/decoding.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "core/decoders/formats.h"
#include "core/file_kind.h"
#include "core/scaling.h"
#include "format/zft_format.h"

namespace core {
namespace {

Failure cannot_read(const std::string& path, std::string_view reason) { return cannot("read the picture", path, reason); }

std::unique_ptr<ByteSource> open_picture(const std::string& path) {
    // A pipe or a device is refused before it is opened and waited on.
    if (const std::string reason = not_a_file_reason(path); !reason.empty())
        throw cannot_read(path, reason);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw cannot_read(path, system_reason(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        throw cannot_read(path, system_reason(error));
    }
    return std::make_unique<FileSource>(fd, static_cast<std::uint64_t>(status.st_size));
}

struct Format {
    bool (*sniff)(std::span<const std::uint8_t>);
    Size (*size)(ByteSource&);
    void (*decode)(ByteSource&, const DecodeOptions&, RowSink&);
};

constexpr Format kFormats[] = {
    {jpeg::sniff, jpeg::size, jpeg::decode},
    {png::sniff, png::size, png::decode},
    {gif::sniff, gif::size, gif::decode},
    {bmp::sniff, bmp::size, bmp::decode},
    {pnm::sniff, pnm::size, pnm::decode},
};

const Format& format_of(ByteSource& file) {
    std::uint8_t start[8];
    const std::size_t got = file.read(0, start, sizeof start);
    if (got == 0)
        throw DecodeError("the file is empty");
    for (const Format& format : kFormats)
        if (format.sniff({start, got}))
            return format;
    throw DecodeError("not a picture in a format this program reads (JPEG, GIF, BMP, PNG or PPM)");
}

// Runs `work` on the picture at `path`, telling a decoder's refusal in a
// sentence that names the file.
template <typename Work>
auto with_picture(ByteSource& file, const std::string& path, Work work) {
    try {
        return work(file, format_of(file));
    } catch (const DecodeError& error) {
        throw cannot_read(path, error.what());
    } catch (const std::bad_alloc&) {
        throw cannot_read(path, "there is not enough memory to decode it");
    }
}

template <typename Work>
auto with_picture(const std::string& path, Work work) {
    const std::unique_ptr<ByteSource> file = open_picture(path);
    return with_picture(*file, path, work);
}

// A sink that takes only what a ZFT file can hold, refused before any pixel
// is allocated.
class ZftSizedSink final : public PictureSink {
public:
    ZftSizedSink(const std::string& path, const std::string& hint) : path_(path), hint_(hint) {}
    void begin(Size size, bool hasAlpha) override {
        if (!zft::fits_header(size.width, size.height))
            throw too_large(path_, size, hint_);
        PictureSink::begin(size, hasAlpha);
    }

private:
    const std::string& path_;
    const std::string& hint_;
};

// A picture for a ZFT file, refused before any pixel is allocated when it is
// too large.
Picture decode_for_zft(ByteSource& file, const Format& format, const std::string& path, Argb background,
                       const std::string& hint = {}) {
    // From the headers first: a damaged file of a refused size is refused
    // for its size, and no decoder starts on it.
    const Size size = format.size(file);
    if (!zft::fits_header(size.width, size.height))
        throw too_large(path, size, hint);
    ZftSizedSink sink(path, hint);
    format.decode(file, {background, {}}, sink);
    return std::move(sink.picture);
}

// The picture scaled down to fit `box`, never held whole at its full size.
Picture decode_within(ByteSource& file, const Format& format, const std::string& path, Size box, Argb background) {
    const Size size = format.size(file);
    if (std::int64_t(size.width) * size.height > kMostPixelsToScale)
        throw cannot_read(path, "the picture is " + std::to_string(size.width) + " × " +
                                    std::to_string(size.height) + " pixels, more than the " +
                                    std::to_string(kMostPixelsToScale / 1'000'000) +
                                    " megapixels that are read to be scaled down");
    const Size target = fit_within(size, box);
    if (target == size) {
        PictureSink sink;
        format.decode(file, {background, {}}, sink);
        if (sink.picture.size() != size)
            throw DecodeError("the picture's size changed while it was read");
        return std::move(sink.picture);
    }
    ReducingSink sink(target);
    format.decode(file, {background, target}, sink);
    return std::move(sink.picture);
}

}  // namespace

Size picture_size(const std::string& path) {
    return with_picture(path, [](ByteSource& file, const Format& format) { return format.size(file); });
}

Picture load_picture(const std::string& path, Argb background, const std::string& tooLargeHint) {
    return with_picture(path, [&](ByteSource& file, const Format& format) {
        return decode_for_zft(file, format, path, background, tooLargeHint);
    });
}

Picture load_picture_data(std::span<const std::uint8_t> bytes, const std::string& name, Argb background,
                          const std::string& tooLargeHint) {
    MemorySource file(bytes.data(), bytes.size());
    return with_picture(file, name, [&](ByteSource& source, const Format& format) {
        return decode_for_zft(source, format, name, background, tooLargeHint);
    });
}

Picture load_picture_within(const std::string& path, Size box, Argb background) {
    return with_picture(path, [&](ByteSource& file, const Format& format) {
        return decode_within(file, format, path, box, background);
    });
}

Picture load_picture_data_within(std::span<const std::uint8_t> bytes, const std::string& name, Size box,
                                 Argb background) {
    MemorySource file(bytes.data(), bytes.size());
    return with_picture(file, name, [&](ByteSource& source, const Format& format) {
        return decode_within(source, format, name, box, background);
    });
}

Failure too_large(const std::string& path, Size size, const std::string& hint) {
    std::string reason = "the picture is " + std::to_string(size.width) + " × " + std::to_string(size.height) +
                         " pixels, and a ZFT picture can be at most 999 × 999 pixels";
    if (!hint.empty())
        reason += " (" + hint + ")";
    return cannot("convert", path, reason);
}

}  // namespace core
