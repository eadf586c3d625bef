#include "core/decoders/formats.h"

#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstring>
#include <exception>
#include <vector>

namespace core::png {
namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// What libpng is reading from, and what went wrong, for its callbacks.
struct Reading {
    ByteSource* file;
    std::uint64_t at = 0;
    std::string error;
};

void read_bytes(png_structp png, png_bytep out, png_size_t n) {
    auto* reading = static_cast<Reading*>(png_get_io_ptr(png));
    const std::size_t got = reading->file->read(reading->at, out, n);
    reading->at += got;
    if (got != n) {
        reading->error = "the file stops inside the PNG data";
        png_longjmp(png, 1);
    }
}

// libpng's own messages go into the error we throw, never to stderr.
void on_error(png_structp png, png_const_charp message) {
    auto* reading = static_cast<Reading*>(png_get_error_ptr(png));
    if (reading->error.empty())
        reading->error = std::string("the PNG data is damaged (") + message + ")";
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

std::uint32_t big_endian(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

// Runs the whole read inside one setjmp frame: libpng's errors jump back
// here, past no C++ object that would need its destructor.
class Reader {
public:
    explicit Reader(ByteSource& file) : reading_{&file, 0, {}} {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading_, on_error, on_warning);
        if (png_)
            info_ = png_create_info_struct(png_);
        if (!png_ || !info_)
            throw damaged("the PNG decoder could not start");
        png_set_read_fn(png_, &reading_, read_bytes);
    }
    ~Reader() { png_destroy_read_struct(&png_, &info_, nullptr); }

    void decode(RowSink& sink) {
        if (setjmp(png_jmpbuf(png_)) == 0)
            decodeInFrame(sink);
        if (thrown_)
            std::rethrow_exception(thrown_);
        if (!reading_.error.empty())
            throw damaged(reading_.error);
    }

private:
    // No C++ object with a destructor lives in this frame across a libpng
    // call: the rows live in the members.
    void decodeInFrame(RowSink& sink) {
        png_read_info(png_, info_);
        const png_uint_32 width = png_get_image_width(png_, info_);
        const png_uint_32 height = png_get_image_height(png_, info_);
        const int colourType = png_get_color_type(png_, info_);
        const bool alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png_, info_, PNG_INFO_tRNS);

        // Everything to 8-bit 0xAARRGGBB words.
        png_set_expand(png_);
        png_set_scale_16(png_);
        png_set_gray_to_rgb(png_);
        if (std::endian::native == std::endian::little)
            png_set_bgr(png_);
        if (!alpha)
            png_set_filler(png_, 0xFF, std::endian::native == std::endian::little ? PNG_FILLER_AFTER : PNG_FILLER_BEFORE);
        else if (std::endian::native == std::endian::big)
            png_set_swap_alpha(png_);
        const int passes = png_set_interlace_handling(png_);
        png_read_update_info(png_, info_);

        try {
            sink.begin({static_cast<int>(width), static_cast<int>(height)}, alpha);
        } catch (...) {
            thrown_ = std::current_exception();
            return;
        }
        if (passes > 1) {
            // Each pass adds to every row: the rows are kept until the last.
            canvas_.assign(static_cast<std::size_t>(width) * height, 0);
            for (int pass = 0; pass < passes; ++pass)
                for (png_uint_32 y = 0; y < height; ++y)
                    png_read_row(png_, reinterpret_cast<png_bytep>(canvas_.data() + std::size_t(y) * width), nullptr);
        }
        for (png_uint_32 y = 0; y < height; ++y) {
            try {
                Argb* row = sink.row(static_cast<int>(y));
                if (passes > 1)
                    std::memcpy(row, canvas_.data() + std::size_t(y) * width, width * sizeof(Argb));
                else
                    png_read_row(png_, reinterpret_cast<png_bytep>(row), nullptr);
                sink.done(static_cast<int>(y));
            } catch (...) {
                thrown_ = std::current_exception();
                return;
            }
        }
        png_read_end(png_, nullptr);
    }

    Reading reading_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    std::vector<Argb> canvas_;
    std::exception_ptr thrown_;  // what the sink threw, carried out past libpng
};

}  // namespace

bool sniff(std::span<const std::uint8_t> start) {
    return start.size() >= 8 && std::memcmp(start.data(), kSignature, 8) == 0;
}

Size size(ByteSource& file) {
    // The signature, then the IHDR chunk: its length, its name, width, height.
    std::uint8_t head[24];
    read_exactly(file, 0, head, sizeof head, "the PNG header");
    if (!sniff(head) || std::memcmp(head + 12, "IHDR", 4) != 0)
        throw damaged("the PNG file does not start with its header chunk");
    const std::uint32_t width = big_endian(head + 16);
    const std::uint32_t height = big_endian(head + 20);
    if (width == 0 || height == 0)
        throw damaged("the picture has no pixels (" + std::to_string(width) + " × " + std::to_string(height) + ")");
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        throw damaged("the PNG header's size is damaged (" + std::to_string(width) + " × " + std::to_string(height) +
                          ")");
    return {static_cast<int>(width), static_cast<int>(height)};
}

void decode(ByteSource& file, const DecodeOptions&, RowSink& sink) {
    size(file);  // the zero and damaged sizes in our own words
    Reader(file).decode(sink);
}

}  // namespace core::png
