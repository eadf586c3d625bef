// libFuzzer target for the BMP decoder: any bytes, taken as a whole file.
// Beyond the sanitizers' faults, it aborts when the decoder breaks a promise:
// size() and decode() disagree, the sink's rules are broken, a pixel is left
// unset, a picture said to be opaque is not, or a refusal says nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/decoders/formats.h"

namespace {

using core::Argb;
using core::Size;

// The program refuses pictures far smaller than what a BMP header can ask
// for; a few megapixels keep every input fast.
constexpr std::int64_t kMostPixels = 4'000'000;
struct TooLarge {};

void check(bool ok, const char* broken) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", broken);
        std::abort();
    }
}

// Keeps the rows in a block first filled with `unset`.
class Sink : public core::RowSink {
public:
    explicit Sink(Argb unset) : unset_(unset) {}
    void begin(Size size, bool hasAlpha) override {
        check(begins++ == 0, "begin() more than once");
        check(size.width > 0 && size.height > 0, "an empty picture begun");
        this->size = size;
        this->hasAlpha = hasAlpha;
        if (std::int64_t{size.width} * size.height > kMostPixels)
            throw TooLarge{};
        pixels.assign(static_cast<std::size_t>(size.width) * size.height, unset_);
    }
    Argb* row(int y) override {
        check(begins == 1 && !open_ && y == next, "row() out of order");
        open_ = true;
        return &pixels[static_cast<std::size_t>(y) * size.width];
    }
    void done(int y) override {
        check(open_ && y == next, "done() out of order");
        open_ = false;
        ++next;
    }

    int begins = 0;
    int next = 0;
    Size size;
    bool hasAlpha = false;
    std::vector<Argb> pixels;

private:
    Argb unset_;
    bool open_ = false;
};

void check_refusal(const core::Failure& error) {
    check(std::strlen(error.what()) > 0, "a refusal without words");
}

// Whether decode() finished; throws nothing.
bool decode(const std::uint8_t* data, std::size_t size, Sink& sink) {
    core::MemorySource file(data, size);
    try {
        core::bmp::decode(file, {}, sink);
        return true;
    } catch (const core::Failure& error) {
        check_refusal(error);
    } catch (const TooLarge&) {
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    core::MemorySource file(data, size);
    Size headerSize;
    bool sized = false;
    try {
        headerSize = core::bmp::size(file);
        sized = true;
        check(headerSize.width > 0 && headerSize.height > 0, "size() gave an empty size");
    } catch (const core::Failure& error) {
        check_refusal(error);
    }

    Sink first(0x00000000), second(0xFFFFFFFF);
    const bool decoded = decode(data, size, first);
    check(sized || !decoded, "decode() read what size() refused");
    check(first.begins == 0 || first.size == headerSize, "begin() and size() disagree");
    if (!decoded)
        return 0;
    check(first.next == first.size.height, "rows missing");
    check(decode(data, size, second), "a second decode() refused what the first read");
    check(first.pixels == second.pixels, "pixels left unset");
    if (!first.hasAlpha)
        for (const Argb pixel : first.pixels)
            check(core::alpha_of(pixel) == 255, "a picture without alpha has pixels less than opaque");
    return 0;
}
