#include "core/zft_codec.h"

#include <algorithm>
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

std::string length_reason(std::uint64_t length, std::uint64_t expected) {
    return "file is " + std::to_string(length) + " bytes; its header promises " + std::to_string(expected) +
           (length < expected ? " (cut short)" : " (trailing bytes)");
}

std::string longer_reason(std::uint64_t expected) {
    return "file is longer than the " + std::to_string(expected) + " bytes its header promises (trailing bytes)";
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
        throw Failure(Kind::Damaged, length_reason(length, expected));
}

namespace {

// The header of a picture of `size` saved with `stamp`. Throws Failure when
// a ZFT file cannot describe it.
zft::ZftHeader header_for(Size size, const Stamp& stamp) {
    check_zft_size(size.width, size.height);
    return zft::make_header(stamp.date.month, stamp.date.day, stamp.date.year, notice_bytes(stamp.notice),
                            size.width, size.height);
}

// The header, then the rows `row(y)` gives as shown, opaque: each pixel its
// red, green and blue bytes.
template <typename Rows>
void write_rows(ByteSink& out, Size size, const Stamp& stamp, Rows row) {
    out.write(zft::encode_header(header_for(size, stamp)));
    std::string bytes(3 * static_cast<std::size_t>(size.width), '\0');
    for (int y = 0; y < size.height; ++y) {
        rgb_bytes(row(y), size.width, reinterpret_cast<std::uint8_t*>(bytes.data()));
        out.write(bytes);
    }
}

}  // namespace

void save_zft(ByteSink& out, Size size, const RowSource& rows, const Stamp& stamp) {
    std::vector<Argb> row;
    write_rows(out, size, stamp, [&](int y) {
        // Sized only once the size has passed its check.
        row.resize(static_cast<std::size_t>(size.width));
        rows(y, row.data());
        compose_row(row.data(), size.width, stamp.background);
        return row.data();
    });
}

void save_zft(ByteSink& out, const Picture& picture, const Stamp& stamp) {
    check_zft_size(picture.width(), picture.height());
    const Picture shown = picture_as_shown(picture, stamp.background);
    write_rows(out, picture.size(), stamp, [&](int y) { return shown.row(y); });
}

std::string save_zft(const Picture& picture, const Stamp& stamp) {
    StringSink sink;
    save_zft(sink, picture, stamp);
    return std::move(sink.bytes());
}

void save_zft(Files& files, const std::string& path, Existing existing, const Picture& picture, const Stamp& stamp) {
    try {
        check_zft_size(picture.width(), picture.height());
    } catch (const Failure& failure) {
        throw failure.of("write", path);
    }
    const std::unique_ptr<WritableFile> file = files.create(path, existing);
    try {
        save_zft(*file, picture, stamp);
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
        // Shorter now than when it was measured: the file changed meanwhile.
        if (pixels < bytes.size())
            throw Failure(Kind::EndOfFile, length_reason(zft::kHeaderSize + pixels, zft::file_size(width, height)));
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
