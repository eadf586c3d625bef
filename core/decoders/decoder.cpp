#include "core/decoders/decoder.h"

#include <algorithm>
#include <cstring>

namespace core {

std::size_t MemorySource::read(std::uint64_t offset, void* out, std::size_t n) {
    if (offset >= size_)
        return 0;
    const std::size_t take = std::min<std::uint64_t>(n, size_ - offset);
    std::memcpy(out, data_ + offset, take);
    return take;
}

void PictureSink::begin(Size size, bool hasAlpha) {
    // Transparent black until the decoder sets each pixel.
    picture = Picture(size.width, size.height, 0);
    picture.setHasAlpha(hasAlpha);
}

std::string with_commas(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

void read_exactly(ByteSource& file, std::uint64_t offset, void* out, std::size_t n, const char* what) {
    if (file.read(offset, out, n) != n)
        throw DecodeError(std::string("the file stops inside ") + what);
}

}  // namespace core
