#include "core/zft_codec.h"

#include <algorithm>
#include <cassert>
#include <vector>

#include "core/failure.h"

namespace core {
namespace {

using Kind = Failure::Kind;

bool all_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int digits_value(std::string_view s) {
    int value = 0;
    for (char c : s)
        value = value * 10 + (c - '0');
    return value;
}

std::string quoted(std::string_view field) {
    std::string out = "\"";
    for (unsigned char c : field) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += zft::escaped_byte(c);
        }
    }
    return out + "\"";
}

void check_number(const char* name, std::string_view field, int low, int high) {
    if (!all_digits(field))
        throw Failure(Kind::Damaged, std::string(name) + " is " + quoted(field) + ", not " +
                                         std::to_string(field.size()) + " digits");
    const int value = digits_value(field);
    if (value < low || value > high)
        throw Failure(Kind::Damaged, std::string(name) + " is " + quoted(field) + ", outside " + std::to_string(low) +
                                         " to " + std::to_string(high));
}

}  // namespace

std::string short_file_reason(std::uint64_t length) {
    return "file is " + std::to_string(length) + " bytes, shorter than the 64-byte header";
}

void check_zft_size(int width, int height) {
    if (width < 1 || height < 1)
        throw Failure(Kind::Unsupported, "the picture has no pixels (" + std::to_string(width) + " × " +
                                             std::to_string(height) + ")");
    if (!zft::fits_header(width, height))
        throw Failure(Kind::TooLarge, "the picture is " + std::to_string(width) + " × " + std::to_string(height) +
                                          " pixels, and a ZFT picture can be at most 999 × 999 pixels");
}

void check_zft_header(const zft::ZftHeader& header) {
    if (header.version != zft::kVersion)
        throw Failure(Kind::Damaged, "version is " + quoted(header.version) + ", not \"1A\"");
    check_number("month", header.creation_month, 1, 12);
    check_number("day", header.creation_day, 1, 31);
    check_number("year", header.creation_year, 0, 9999);
    check_number("width", header.width, 1, zft::kMaxDimension);
    check_number("height", header.height, 1, zft::kMaxDimension);
}

void check_zft_file(std::string_view headerBytes, std::uint64_t length) {
    if (headerBytes.size() < zft::kHeaderSize || length < zft::kHeaderSize)
        throw Failure(Kind::Damaged, short_file_reason(length));
    const zft::ZftHeader header = zft::decode_header(headerBytes);
    check_zft_header(header);
    const std::uint64_t expected = zft::file_size(header.width_value(), header.height_value());
    if (length != expected)
        throw Failure(Kind::Damaged, "file is " + std::to_string(length) + " bytes; its header promises " +
                                         std::to_string(expected) +
                                         (length < expected ? " (cut short)" : " (trailing bytes)"));
}

ZftRowWriter::ZftRowWriter(ByteSink& out, const zft::ZftHeader& header)
    : out_(out), width_(header.width_value()), height_(header.height_value()),
      bytes_(3 * static_cast<std::size_t>(width_), '\0') {
    out_.write(zft::encode_header(header));
}

void ZftRowWriter::writeRow(const Argb* pixels) {
    assert(rows_ < height_);
    rgb_bytes(pixels, width_, reinterpret_cast<std::uint8_t*>(bytes_.data()));
    out_.write(bytes_);
    ++rows_;
}

void ZftRowWriter::finish() {
    if (rows_ != height_)
        throw Failure(Kind::Damaged, "the picture has " + std::to_string(rows_) + " of the " +
                                         std::to_string(height_) + " rows its header promises");
}

void write_zft(ByteSink& out, const zft::ZftHeader& header, const Picture& picture, Argb background) {
    assert(picture.width() == header.width_value() && picture.height() == header.height_value());
    const Picture shown = picture_as_shown(picture, background);
    ZftRowWriter rows(out, header);
    for (int y = 0; y < shown.height(); ++y)
        rows.writeRow(shown.row(y));
    rows.finish();
}

std::string encode_zft(const zft::ZftHeader& header, const Picture& picture, Argb background) {
    StringSink sink;
    write_zft(sink, header, picture, background);
    return std::move(sink.bytes());
}

void write_zft(Files& files, const std::string& path, Existing existing, const zft::ZftHeader& header,
               const Picture& picture, Argb background) {
    const std::unique_ptr<WritableFile> file = files.create(path, existing);
    try {
        write_zft(*file, header, picture, background);
    } catch (const Failure& failure) {
        throw failure.of("write", path);
    }
    file->commit();
}

ZftPicture read_zft(ByteSource& file, const std::string& name) {
    try {
        char head[zft::kHeaderSize];
        const std::size_t got = file.read(0, head, sizeof head);
        check_zft_file({head, got}, file.size());
        ZftPicture zft{zft::decode_header({head, sizeof head}), {}};
        const int width = zft.header.width_value();
        const int height = zft.header.height_value();
        std::vector<char> bytes(zft::pixel_bytes(width, height));
        const std::size_t pixels = file.read(zft::kHeaderSize, bytes.data(), bytes.size());
        if (pixels < bytes.size())
            throw Failure(Kind::EndOfFile, "the file ends in pixel row " + std::to_string(pixels / (3 * width) + 1) +
                                               " of " + std::to_string(height));
        zft.picture = Picture(width, height);
        const auto* rgb = reinterpret_cast<const std::uint8_t*>(bytes.data());
        for (int y = 0; y < height; ++y)
            pixels_of(rgb + 3 * static_cast<std::size_t>(width) * y, width, 3, zft.picture.row(y));
        return zft;
    } catch (const Failure& failure) {
        throw failure.of("read", name);
    } catch (const std::bad_alloc&) {
        throw cannot("read", name, "there is not enough memory to read it", Kind::OutOfMemory);
    }
}

ZftPicture decode_zft(std::span<const std::uint8_t> bytes, const std::string& name) {
    MemorySource file(bytes.data(), bytes.size());
    return read_zft(file, name);
}

ZftPicture read_zft(Files& files, const std::string& path) { return read_zft(*files.open(path), path); }

}  // namespace core
