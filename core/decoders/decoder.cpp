#include "core/decoders/decoder.h"

#include <algorithm>

namespace core {

void PictureSink::begin(Size size, bool hasAlpha) {
    // Transparent black until the decoder sets each pixel.
    picture = Picture(size.width, size.height, 0);
    picture.setHasAlpha(hasAlpha);
}

void RowSink::piece(int y, int x, const Argb* pixels, int n) {
    if (x == 0)
        pieceRow_ = row(y);
    std::copy_n(pixels, n, pieceRow_ + x);
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
        throw damaged(std::string("the file stops inside ") + what);
}

}  // namespace core
