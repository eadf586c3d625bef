#include "core/decoders/formats.h"

#include <turbojpeg.h>

#include <bit>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace core::jpeg {
namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The start-of-frame markers: baseline, extended, progressive and lossless,
// Huffman or arithmetic coded (not DHT, JPG or DAC, which share the range).
bool is_frame_marker(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::string library_damage(const char* library_message) {
    return std::string("the JPEG data is damaged (") + library_message + ")";
}

// The pixel format whose bytes are 0xAARRGGBB as a native word.
constexpr TJPF kArgbFormat = std::endian::native == std::endian::little ? TJPF_BGRA : TJPF_ARGB;

}  // namespace

bool sniff(std::span<const std::uint8_t> start) {
    return start.size() >= 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF;
}

namespace {

// What the frame header says: the size, and how much memory the decoder
// needs for the picture's coefficients when it must keep all of them (a
// progressive file is decoded scan by scan over the whole picture).
struct Frame {
    Size size;
    bool progressive = false;
    std::uint64_t coefficientBytes = 0;
};

Frame read_frame(ByteSource& file) {
    // The frame header is found by walking the markers, so only the headers
    // are read, however large the file.
    std::uint8_t head[2];
    read_exactly(file, 0, head, 2, "the JPEG headers");
    if (head[0] != 0xFF || head[1] != 0xD8)
        throw damaged("not a JPEG file");
    std::uint64_t at = 2;
    for (;;) {
        std::uint8_t marker[2];
        read_exactly(file, at, marker, 2, "the JPEG headers");
        if (marker[0] != 0xFF)
            throw damaged("the JPEG headers are damaged: no marker where one must be");
        if (marker[1] == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker[1] == 0xD9 || marker[1] == 0xDA)
            throw damaged("the JPEG file has no frame header before its image data");
        if (marker[1] == 0x01 || (marker[1] >= 0xD0 && marker[1] <= 0xD7)) {  // markers without a length
            at += 2;
            continue;
        }
        std::uint8_t segment[2 + 6 + 3 * 255];
        read_exactly(file, at + 2, segment, 2, "the JPEG headers");
        const unsigned length = segment[0] << 8 | segment[1];
        if (length < 2)
            throw damaged("the JPEG headers are damaged: a segment of length " + std::to_string(length));
        if (!is_frame_marker(marker[1])) {
            at += 2 + length;
            continue;
        }
        read_exactly(file, at + 2, segment, std::min<std::size_t>(length, sizeof segment), "the JPEG frame header");
        Frame frame;
        frame.size = {segment[5] << 8 | segment[6], segment[3] << 8 | segment[4]};
        if (frame.size.width == 0 || frame.size.height == 0)
            throw damaged("the picture has no pixels (" + std::to_string(frame.size.width) + " × " +
                              std::to_string(frame.size.height) + ")");
        // SOF2, SOF6, SOF10 and SOF14 are the progressive ones.
        frame.progressive = (marker[1] & 0x03) == 0x02;
        const unsigned components = length >= 8 ? segment[7] : 0;
        if (length < 8 + 3 * components)
            throw damaged("the JPEG frame header is damaged");
        unsigned hMax = 1;
        unsigned vMax = 1;
        for (unsigned c = 0; c < components; ++c) {
            hMax = std::max(hMax, unsigned(segment[9 + 3 * c] >> 4));
            vMax = std::max(vMax, unsigned(segment[9 + 3 * c] & 0x0F));
        }
        // Each component's blocks of 8 × 8 two-byte coefficients, at its sampling.
        for (unsigned c = 0; c < components; ++c) {
            const std::uint64_t h = std::max(1u, unsigned(segment[9 + 3 * c] >> 4));
            const std::uint64_t v = std::max(1u, unsigned(segment[9 + 3 * c] & 0x0F));
            const std::uint64_t across = (std::uint64_t(frame.size.width) * h + 8 * hMax - 1) / (8 * hMax);
            const std::uint64_t down = (std::uint64_t(frame.size.height) * v + 8 * vMax - 1) / (8 * vMax);
            frame.coefficientBytes += across * down * 64 * 2;
        }
        return frame;
    }
}

// What a progressive file may ask for: with the picture's own memory and
// the reduced result it stays under 300 MB.
constexpr std::uint64_t kMostCoefficientBytes = std::uint64_t(256) << 20;

}  // namespace

Size size(ByteSource& file) { return read_frame(file).size; }

void decode(ByteSource& file, const DecodeOptions& options, RowSink& sink) {
    const Frame frame = read_frame(file);
    if (frame.progressive && frame.coefficientBytes > kMostCoefficientBytes)
        throw Failure(Failure::Kind::TooLarge, "a progressive JPEG of " + std::to_string(frame.size.width) + " × " +
                          std::to_string(frame.size.height) + " pixels needs " +
                          with_commas(frame.coefficientBytes >> 20) + " MB to decode, more than the " +
                          with_commas(kMostCoefficientBytes >> 20) + " MB this program allows it");
    // TurboJPEG decodes from memory: the file, not the picture, is read whole.
    const std::uint64_t length = file.size();
    if (length > (std::uint64_t(1) << 31))
        throw Failure(Failure::Kind::TooLarge, "the JPEG file is larger than 2 GB");
    std::vector<unsigned char> data(static_cast<std::size_t>(length));
    read_exactly(file, 0, data.data(), data.size(), "the JPEG data");

    const Handle handle(tjInitDecompress());
    if (!handle)
        throw Failure(Failure::Kind::OutOfMemory, "the JPEG decoder could not start");
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(handle.get(), data.data(), data.size(), &width, &height, &subsampling, &colourspace) != 0)
        throw damaged(library_damage(tjGetErrorStr2(handle.get())));
    if (width <= 0 || height <= 0)
        throw damaged("the picture has no pixels");

    // For a caller that scales down, the smallest of 1/2, 1/4 and 1/8 that
    // still gives at least what it asks: a large photo never costs its size.
    tjscalingfactor scale{1, 1};
    for (int denominator : {2, 4, 8}) {
        const tjscalingfactor smaller{1, denominator};
        if (options.atLeast.width > 0 && TJSCALED(width, smaller) >= options.atLeast.width &&
            TJSCALED(height, smaller) >= options.atLeast.height)
            scale = smaller;
    }
    const Size shown{TJSCALED(width, scale), TJSCALED(height, scale)};
    sink.begin(shown, false);

    const bool cmyk = colourspace == TJCS_CMYK || colourspace == TJCS_YCCK;
    const int bytesPerPixel = 4;
    std::vector<std::uint8_t> own;
    auto* out = reinterpret_cast<unsigned char*>(cmyk ? nullptr : sink.whole());
    if (!out) {
        own.resize(static_cast<std::size_t>(shown.width) * shown.height * bytesPerPixel);
        out = own.data();
    }
    const int pitch = shown.width * bytesPerPixel;
    if (tjDecompress2(handle.get(), data.data(), data.size(), out, shown.width, pitch, shown.height,
                      cmyk ? TJPF_CMYK : kArgbFormat, 0) != 0) {
        // A warning leaves a whole picture, the same one djpeg gives (extra
        // bytes before a marker, say), except for a file cut short, whose
        // missing part would be made up.
        const std::string message = tjGetErrorStr2(handle.get());
        if (tjGetErrorCode(handle.get()) != TJERR_WARNING || message.find("Premature end") != std::string::npos)
            throw damaged(message.find("Premature end") != std::string::npos ? "the JPEG data stops early"
                                                                                 : library_damage(message.c_str()));
    }

    for (int y = 0; y < shown.height; ++y) {
        const std::uint8_t* from = out + static_cast<std::size_t>(y) * pitch;
        if (cmyk) {
            // Adobe's inverted CMYK, as YCCK decodes too: 255 is no ink.
            Argb* row = sink.row(y);
            for (int x = 0; x < shown.width; ++x, from += 4) {
                const unsigned k = from[3];
                auto channel = [k](unsigned c) { return static_cast<int>((c * k + 127) / 255); };
                row[x] = argb(channel(from[0]), channel(from[1]), channel(from[2]));
            }
        } else if (out == own.data()) {
            std::memcpy(sink.row(y), from, static_cast<std::size_t>(pitch));
        }
        sink.done(y);
    }
}

}  // namespace core::jpeg
