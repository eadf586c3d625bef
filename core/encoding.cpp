#include "core/encoding.h"

#include <png.h>
#include <turbojpeg.h>

#include <bit>
#include <csetjmp>
#include <memory>
#include <vector>

#include "core/failure.h"

namespace core {
namespace {

void put_le(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i) & 0xFF);
}

// Rows of red, green and blue bytes, as PNG and PPM store them.
std::vector<std::uint8_t> rgb_row(const Picture& picture, int y) {
    std::vector<std::uint8_t> row(3 * static_cast<std::size_t>(picture.width()));
    rgb_bytes(picture.row(y), picture.width(), row.data());
    return row;
}

void append(png_structp png, png_bytep data, png_size_t n) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), n);
}

[[noreturn]] void on_png_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }

}  // namespace

std::string encode_png(const Picture& picture) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<std::vector<std::uint8_t>> rows;
    for (int y = 0; y < picture.height(); ++y)
        rows.push_back(rgb_row(picture, y));
    std::vector<png_bytep> pointers;
    for (auto& row : rows)
        pointers.push_back(row.data());
    volatile bool written = false;  // set past the last point libpng can jump back from
    if (info && setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, &out, append, nullptr);
        png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width()), static_cast<png_uint_32>(picture.height()), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_rows(png, info, pointers.data());
        png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
        written = true;
    }
    png_destroy_write_struct(&png, &info);
    if (!written)
        throw Failure(Failure::Kind::Io, "the PNG encoder failed");
    return out;
}

std::string encode_bmp(const Picture& picture) {
    const std::uint32_t rowBytes = (3 * static_cast<std::uint32_t>(picture.width()) + 3) & ~3u;
    const std::uint32_t pixelBytes = rowBytes * static_cast<std::uint32_t>(picture.height());
    std::string out = "BM";
    put_le(out, 54 + pixelBytes, 4);
    put_le(out, 0, 4);
    put_le(out, 54, 4);
    put_le(out, 40, 4);
    put_le(out, static_cast<std::uint32_t>(picture.width()), 4);
    put_le(out, static_cast<std::uint32_t>(picture.height()), 4);
    put_le(out, 1, 2);   // planes
    put_le(out, 24, 2);  // bits a pixel
    put_le(out, 0, 4);   // no compression
    put_le(out, pixelBytes, 4);
    put_le(out, 2835, 4);  // 72 dots an inch
    put_le(out, 2835, 4);
    put_le(out, 0, 4);
    put_le(out, 0, 4);
    for (int y = picture.height() - 1; y >= 0; --y) {
        const Argb* row = picture.row(y);
        for (int x = 0; x < picture.width(); ++x) {
            out += static_cast<char>(blue_of(row[x]));
            out += static_cast<char>(green_of(row[x]));
            out += static_cast<char>(red_of(row[x]));
        }
        out.append(rowBytes - 3 * static_cast<std::uint32_t>(picture.width()), '\0');
    }
    return out;
}

std::string encode_ppm(const Picture& picture) {
    std::string out = "P6\n" + std::to_string(picture.width()) + " " + std::to_string(picture.height()) + "\n255\n";
    for (int y = 0; y < picture.height(); ++y) {
        const std::vector<std::uint8_t> row = rgb_row(picture, y);
        out.append(reinterpret_cast<const char*>(row.data()), row.size());
    }
    return out;
}

std::string encode_jpeg(const Picture& picture, int quality) {
    std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitCompress(), tjDestroy);
    if (!handle)
        throw Failure(Failure::Kind::OutOfMemory, "the JPEG encoder could not start");
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int format = std::endian::native == std::endian::little ? TJPF_BGRX : TJPF_XRGB;
    if (tjCompress2(handle.get(), reinterpret_cast<const unsigned char*>(picture.row(0)), picture.width(),
                    picture.width() * static_cast<int>(sizeof(Argb)), picture.height(), format, &jpeg, &size,
                    TJSAMP_444, quality, 0) != 0) {
        tjFree(jpeg);
        throw Failure(Failure::Kind::Io, std::string("the JPEG encoder failed: ") + tjGetErrorStr2(handle.get()));
    }
    std::string out(reinterpret_cast<const char*>(jpeg), size);
    tjFree(jpeg);
    return out;
}

}  // namespace core
