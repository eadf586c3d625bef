#include "core/decoding.h"

#include <memory>

#include "core/decoders/formats.h"
#include "core/scaling.h"
#include "format/zft_format.h"

namespace core {
namespace {


struct Format {
    bool (*sniff)(std::span<const std::uint8_t>);
    Size (*size)(ByteSource&);
    void (*decode)(ByteSource&, const DecodeOptions&, RowSink&);
    void (*checkLimits)(ByteSource&);  // none: the pixels' limit is the kind's only one
};

constexpr Format kFormats[] = {
    {jpeg::sniff, jpeg::size, jpeg::decode, jpeg::check_limits},
    {png::sniff, png::size, png::decode, nullptr},
    {gif::sniff, gif::size, gif::decode, gif::check_limits},
    {bmp::sniff, bmp::size, bmp::decode, nullptr},
    {pnm::sniff, pnm::size, pnm::decode, nullptr},
};

const Format* sniffed_format(ByteSource& file) {
    std::uint8_t start[8];
    const std::size_t got = file.read(0, start, sizeof start);
    if (got == 0)
        throw Failure(Failure::Kind::Unsupported, "the file is empty");
    for (const Format& format : kFormats)
        if (format.sniff({start, got}))
            return &format;
    return nullptr;
}

const Format& format_of(ByteSource& file) {
    if (const Format* format = sniffed_format(file))
        return *format;
    throw Failure(Failure::Kind::Unsupported, "not a picture in a format this program reads (JPEG, GIF, BMP, PNG, PPM or PGM)");
}

// Runs `work` on the picture in `file`, telling a failure in a sentence
// that names the file.
template <typename Work>
auto with_picture(ByteSource& file, const std::string& name, Work work) {
    try {
        return work(format_of(file));
    } catch (const Failure& failure) {
        throw failure.of(kReadPicture, name);
    } catch (const std::bad_alloc&) {
        throw no_memory_to_decode(name);
    }
}

// Refuses, from its headers, a picture of `size` that is more work to decode
// than this program takes at any scale, naming the limit it passes.
void check_work(ByteSource& file, const Format& format, Size size) {
    if (std::int64_t(size.width) * size.height > kMostPixels)
        throw Failure(Failure::Kind::TooLarge, "the picture is " + std::to_string(size.width) + " × " +
                                                   std::to_string(size.height) + " pixels, more than the " +
                                                   std::to_string(kMostPixels / 1'000'000) +
                                                   " megapixels this program decodes, even to reduce it");
    if (format.checkLimits)
        format.checkLimits(file);
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
    if (!zft::fits_header(size.width, size.height)) {
        // Pointed to a reduction only where one can be made. One that fits
        // as it is passes no limit its decoder does not refuse in one step.
        check_work(file, format, size);
        throw too_large(path, size, hint);
    }
    ZftSizedSink sink(path, hint);
    format.decode(file, {background, {}}, sink);
    return std::move(sink.picture);
}

// The picture scaled down to fit `box`, never held whole at its full size.
Picture decode_within(ByteSource& file, const Format& format, Size box, Argb background) {
    const Size size = format.size(file);
    check_work(file, format, size);
    const Size target = fit_within(size, box);
    if (target == size) {
        PictureSink sink;
        format.decode(file, {background, {}}, sink);
        if (sink.picture.size() != size)
            throw damaged("the picture's size changed while it was read");
        return std::move(sink.picture);
    }
    ReducingSink sink(target);
    format.decode(file, {background, target}, sink);
    return std::move(sink.picture);
}

}  // namespace

Picture load_picture(ByteSource& file, const std::string& name, Argb background, const std::string& tooLargeHint) {
    return with_picture(file, name, [&](const Format& format) {
        return decode_for_zft(file, format, name, background, tooLargeHint);
    });
}

Picture load_picture(Files& files, const std::string& path, Argb background, const std::string& tooLargeHint) {
    return load_picture(*files.open(path), path, background, tooLargeHint);
}

bool is_picture(ByteSource& file) {
    try {
        return sniffed_format(file) != nullptr;
    } catch (const Failure&) {
        return false;
    }
}

Size picture_size(ByteSource& file, const std::string& name) {
    return with_picture(file, name, [&](const Format& format) {
        const Size size = format.size(file);
        check_work(file, format, size);
        return size;
    });
}

Size picture_size(Files& files, const std::string& path) { return picture_size(*files.open(path), path); }

Picture load_picture_within(ByteSource& file, const std::string& name, Size box, Argb background) {
    return with_picture(file, name, [&](const Format& format) { return decode_within(file, format, box, background); });
}

Picture load_picture_within(Files& files, const std::string& path, Size box, Argb background) {
    return load_picture_within(*files.open(path), path, box, background);
}

Failure no_memory_to_decode(const std::string& path) {
    return cannot(kReadPicture, path, "there is not enough memory to decode it", Failure::Kind::OutOfMemory);
}

Failure too_large(const std::string& path, Size size, const std::string& hint) {
    std::string reason = "the picture is " + std::to_string(size.width) + " × " + std::to_string(size.height) +
                         " pixels, and a ZFT picture can be at most 999 × 999 pixels";
    if (!hint.empty())
        reason += " (" + hint + ")";
    return cannot("convert", path, reason, Failure::Kind::TooLarge);
}

}  // namespace core
