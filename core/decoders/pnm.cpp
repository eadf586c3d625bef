#include "core/decoders/formats.h"

#include <algorithm>
#include <vector>

namespace core::pnm {
namespace {

struct Header {
    bool grey = false;
    Size size;
    unsigned maximum = 0;
    std::uint64_t pixelsAt = 0;  // where the raster starts
};

// The header's four fields, each a decimal number after whitespace and
// comments, and the one whitespace byte that ends it.
Header read_header(ByteSource& file) {
    std::uint8_t text[512];
    const std::size_t length = file.read(0, text, sizeof text);
    std::size_t at = 2;
    auto number = [&](const char* what) -> std::uint64_t {
        for (;;) {
            while (at < length && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r')))
                ++at;
            if (at < length && text[at] == '#') {
                while (at < length && text[at] != '\n' && text[at] != '\r')
                    ++at;
                continue;
            }
            break;
        }
        if (at >= length || text[at] < '0' || text[at] > '9')
            throw damaged(std::string("the PNM header has no ") + what);
        std::uint64_t value = 0;
        while (at < length && text[at] >= '0' && text[at] <= '9' && value < (std::uint64_t(1) << 40))
            value = value * 10 + (text[at++] - '0');
        return value;
    };
    Header header;
    header.grey = text[1] == '5';
    const std::uint64_t width = number("width");
    const std::uint64_t height = number("height");
    const std::uint64_t maximum = number("maximum value");
    if (at >= length)
        throw damaged("the file stops inside the PNM header");
    if (width == 0 || height == 0)
        throw damaged("the picture has no pixels (" + std::to_string(width) + " × " + std::to_string(height) + ")");
    if (width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        throw damaged("the PNM header's size is damaged");
    if (maximum == 0 || maximum > 65535)
        throw damaged("the PNM maximum value is " + std::to_string(maximum) + ", not 1 to 65535");
    header.size = {static_cast<int>(width), static_cast<int>(height)};
    header.maximum = static_cast<unsigned>(maximum);
    header.pixelsAt = at + 1;
    return header;
}

}  // namespace

bool sniff(std::span<const std::uint8_t> start) {
    return start.size() >= 3 && start[0] == 'P' && (start[1] == '5' || start[1] == '6') &&
           (start[2] == ' ' || (start[2] >= '\t' && start[2] <= '\r') || start[2] == '#');
}

Size size(ByteSource& file) { return read_header(file).size; }

void decode(ByteSource& file, const DecodeOptions&, RowSink& sink) {
    const Header header = read_header(file);
    const unsigned channels = header.grey ? 1 : 3;
    const unsigned bytes = header.maximum > 255 ? 2 : 1;
    const std::uint64_t rowBytes = std::uint64_t(header.size.width) * channels * bytes;
    const std::uint64_t total = rowBytes * header.size.height;
    // Nothing past the raster is read: from a stream, nothing past it comes.
    const std::uint64_t reach = file.sizeUpTo(header.pixelsAt + total);
    if (reach < header.pixelsAt + total)
        throw damaged("the pixel data stops after " + with_commas(reach - std::min(reach, header.pixelsAt)) +
                      " of " + with_commas(total) + " bytes");
    sink.begin(header.size, false);
    // A row goes over in pieces, so that one of any width costs a piece's memory.
    constexpr int kStripPixels = 16384;
    const int stripPixels = std::min(kStripPixels, header.size.width);
    const std::uint64_t pixelBytes = channels * bytes;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(stripPixels * pixelBytes));
    std::vector<Argb> strip(static_cast<std::size_t>(stripPixels));
    auto scaled = [&](const std::uint8_t* at) {
        const unsigned value = bytes == 2 ? (at[0] << 8 | at[1]) : at[0];
        return static_cast<int>((std::min(value, header.maximum) * 255u * 2 + header.maximum) / (2 * header.maximum));
    };
    for (int y = 0; y < header.size.height; ++y) {
        for (int x = 0; x < header.size.width; x += stripPixels) {
            const int n = std::min(stripPixels, header.size.width - x);
            read_exactly(file, header.pixelsAt + rowBytes * static_cast<std::uint64_t>(y) + x * pixelBytes, raw.data(),
                         n * pixelBytes, "the pixel data");
            const std::uint8_t* at = raw.data();
            for (int i = 0; i < n; ++i, at += pixelBytes) {
                const int red = scaled(at);
                strip[i] = header.grey ? argb(red, red, red) : argb(red, scaled(at + bytes), scaled(at + 2 * bytes));
            }
            sink.piece(y, x, strip.data(), n);
        }
        sink.done(y);
    }
}

}  // namespace core::pnm
