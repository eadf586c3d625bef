#include "core/decoders/formats.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

namespace core::png {
namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t big_endian(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

// What libpng is reading from, and what went wrong, for its callbacks. The
// file is read through a buffer, and every chunk's declared length is checked
// against the file's as its header goes by, before libpng sees it: a chunk
// that claims more than the file holds never has its length allocated. A
// stream is read no further than the chunk libpng is in.
class Reading {
public:
    explicit Reading(ByteSource& file) : file_(file), buffer_(std::make_unique<std::uint8_t[]>(kFileBufferSize)) {}

    // Copies the next n bytes to `out`; false when the file has fewer, or a
    // chunk runs past its end, with `error` set.
    bool take(std::uint8_t* out, std::size_t n) {
        std::size_t done = 0;
        while (done < n) {
            if (bufferAt_ == bufferEnd_ && !fill()) {
                error = "the file stops inside the PNG data";
                return false;
            }
            const std::size_t part = std::min(n - done, bufferEnd_ - bufferAt_);
            std::memcpy(out + done, buffer_.get() + bufferAt_, part);
            bufferAt_ += part;
            done += part;
        }
        return follow_chunks(out, n);
    }

    std::string error;
    bool outOfMemory = false;      // an allocation of libpng's failed
    std::exception_ptr thrown;     // what the file or the sink threw, carried out past libpng

private:
    bool fill() {
        bufferEnd_ = file_.read(next_, buffer_.get(), kFileBufferSize);
        bufferAt_ = 0;
        next_ += bufferEnd_;
        return bufferEnd_ > 0;
    }

    // libpng reads the file in order: the bytes just taken end at `read_`.
    bool follow_chunks(const std::uint8_t* bytes, std::size_t n) {
        const std::uint64_t from = read_;
        read_ += n;
        for (std::uint64_t at = chunk_ + lengthHave_; at < read_; at = chunk_ + lengthHave_) {
            length_[lengthHave_++] = bytes[at - from];
            if (lengthHave_ < 4)
                continue;
            // length, name, data, check
            const std::uint64_t end = chunk_ + 12 + big_endian(length_);
            if (const std::uint64_t size = file_.sizeUpTo(end); size < end) {
                error = "the file stops inside the PNG data: the chunk at byte " + with_commas(chunk_) + " holds " +
                        with_commas(big_endian(length_)) + " bytes, past the end of the " + with_commas(size) +
                        "-byte file";
                return false;
            }
            chunk_ = end;
            lengthHave_ = 0;
        }
        return true;
    }

    ByteSource& file_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t bufferAt_ = 0;
    std::size_t bufferEnd_ = 0;
    std::uint64_t next_ = 0;   // the file's offset of the byte after the buffer
    std::uint64_t read_ = 0;   // how many bytes libpng has taken
    std::uint64_t chunk_ = 8;  // where the chunk whose length comes next starts
    std::uint8_t length_[4] = {};
    int lengthHave_ = 0;
};

void read_bytes(png_structp png, png_bytep out, png_size_t n) {
    auto* reading = static_cast<Reading*>(png_get_io_ptr(png));
    bool taken = false;
    try {
        taken = reading->take(out, n);
    } catch (...) {
        reading->thrown = std::current_exception();
    }
    if (!taken)
        png_longjmp(png, 1);
}

// libpng's own messages go into the error we throw, never to stderr.
void on_error(png_structp png, png_const_charp message) {
    auto* reading = static_cast<Reading*>(png_get_error_ptr(png));
    if (reading->error.empty())
        reading->error = std::string("the PNG data is damaged (") + message + ")";
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

// libpng's memory, so that a failed allocation is told as what it is, not
// as damage.
png_voidp allocate(png_structp png, png_alloc_size_t n) {
    void* memory = std::malloc(n);
    if (!memory)
        static_cast<Reading*>(png_get_mem_ptr(png))->outOfMemory = true;
    return memory;
}

void release(png_structp, png_voidp memory) { std::free(memory); }

// Runs the whole read inside one setjmp frame: libpng's errors jump back
// here, past no C++ object that would need its destructor.
class Reader {
public:
    explicit Reader(ByteSource& file) : reading_(file) {
        png_ = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &reading_, on_error, on_warning, &reading_, allocate,
                                        release);
        if (png_)
            info_ = png_create_info_struct(png_);
        if (!png_ || !info_)
            throw Failure(Failure::Kind::OutOfMemory, "there is not enough memory to decode it");
        png_set_read_fn(png_, &reading_, read_bytes);
        // Nothing here uses text, colour profiles or any other ancillary
        // chunk but the transparency: they are passed over unread, and a
        // file of many large compressed texts costs nothing to decode.
        png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
        // Their lengths need no cap then: no chunk's data is held.
        png_set_chunk_malloc_max(png_, 0);
        // What libpng itself lets pass with a warning, as pngtopam and the
        // other readers over it do, passes here too: more image data than
        // the pixels take, a tRNS chunk of the wrong length (then unused),
        // an index past the palette (black). Every pixel is still there;
        // image data that stops before the last one is an error all the same.
        png_set_benign_errors(png_, 1);
    }
    ~Reader() { png_destroy_read_struct(&png_, &info_, nullptr); }

    void decode(RowSink& sink) {
        if (setjmp(png_jmpbuf(png_)) == 0)
            decodeInFrame(sink);
        if (reading_.thrown)
            std::rethrow_exception(reading_.thrown);
        if (reading_.outOfMemory)
            throw Failure(Failure::Kind::OutOfMemory, "there is not enough memory to decode it");
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
            // Adam7's first six passes fill the even rows and the seventh
            // the odd ones: the even rows are kept until the last pass, which
            // then hands every row over in order. Half the picture, never
            // all of it.
            if (passes > 1)
                evenRows_.assign(static_cast<std::size_t>(width) * ((height + 1) / 2), 0);
        } catch (...) {
            reading_.thrown = std::current_exception();
            return;
        }
        auto even_row = [&](png_uint_32 y) {
            return reinterpret_cast<png_bytep>(evenRows_.data() + std::size_t(y / 2) * width);
        };
        for (int pass = 0; pass + 1 < passes; ++pass)
            for (png_uint_32 y = 0; y < height; ++y)
                png_read_row(png_, y % 2 == 0 ? even_row(y) : nullptr, nullptr);
        for (png_uint_32 y = 0; y < height; ++y) {
            try {
                Argb* row = sink.row(static_cast<int>(y));
                if (passes > 1 && y % 2 == 0) {
                    std::memcpy(row, even_row(y), width * sizeof(Argb));
                    png_read_row(png_, nullptr, nullptr);
                } else {
                    png_read_row(png_, reinterpret_cast<png_bytep>(row), nullptr);
                }
                sink.done(static_cast<int>(y));
            } catch (...) {
                reading_.thrown = std::current_exception();
                return;
            }
        }
        png_read_end(png_, nullptr);
    }

    Reading reading_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    std::vector<Argb> evenRows_;
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
