// libFuzzer target for the GIF decoder: any bytes, taken as a whole file.
// Beyond what the sanitizers catch, the decoder's promises are checked: the
// size from the header is the size decoded; rows come once each from the
// top, every pixel opaque; a file is refused only with a Failure in
// words; and the caller's background shows only where the file leaves the
// screen open, the same places whatever its colour.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "core/decoders/formats.h"

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

// Refuses screens past a few megapixels, as the program's sink refuses
// those past its own limit.
class Sink : public core::RowSink {
public:
    struct Refused {};
    static constexpr long kMostPixels = 4'000'000;

    void begin(core::Size size, bool hasAlpha) override {
        if (began_)
            broken("begin twice");
        began_ = true;
        if (hasAlpha)
            broken("a GIF's picture is opaque");
        if (static_cast<long>(size.width) * size.height > kMostPixels)
            throw Refused();
        size_ = size;
        pixels_.assign(static_cast<std::size_t>(size.width) * size.height, 0);
    }
    core::Argb* row(int y) override {
        if (!began_ || open_ || y != next_ || y >= size_.height)
            broken("a row out of order");
        open_ = true;
        return pixels_.data() + static_cast<std::size_t>(y) * size_.width;
    }
    void done(int y) override {
        if (!open_ || y != next_)
            broken("done for another row");
        open_ = false;
        const core::Argb* row = pixels_.data() + static_cast<std::size_t>(y) * size_.width;
        for (int x = 0; x < size_.width; ++x)
            if (core::alpha_of(row[x]) != 255)
                broken("a pixel left unset or not opaque");
        ++next_;
    }

    core::Size size() const { return size_; }
    bool complete() const { return began_ && !open_ && next_ == size_.height; }
    const std::vector<core::Argb>& pixels() const { return pixels_; }

private:
    bool began_ = false;
    bool open_ = false;
    int next_ = 0;
    core::Size size_;
    std::vector<core::Argb> pixels_;
};

struct Outcome {
    std::optional<std::string> refusal;  // the decoder's words, or none
    bool tooLarge = false;
    Sink sink;
};

void decode(const std::uint8_t* data, std::size_t size, core::Argb background, Outcome& out) {
    core::MemorySource source(data, size);
    core::DecodeOptions options;
    options.background = background;
    try {
        core::gif::decode(source, options, out.sink);
        if (!out.sink.complete())
            broken("decoded without every row");
    } catch (const core::Failure& e) {
        if (std::string(e.what()).empty())
            broken("a refusal without words");
        out.refusal = e.what();
    } catch (const Sink::Refused&) {
        out.tooLarge = true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<core::Size> header;
    try {
        core::MemorySource source(data, size);
        header = core::gif::size(source);
    } catch (const core::Failure&) {
    }

    constexpr core::Argb kFirst = core::argb(1, 2, 3), kSecond = core::argb(250, 251, 252);
    Outcome first, second;
    decode(data, size, kFirst, first);
    if (!header) {
        if (!first.refusal)
            broken("decoded what size() refused");
        return 0;
    }
    if (!first.tooLarge && !(first.sink.size() == *header))
        broken("decoded another size than size() gave");
    if (first.tooLarge || first.refusal)
        return 0;

    decode(data, size, kSecond, second);
    if (!second.sink.complete())
        broken("the background changed whether the file decodes");
    for (std::size_t i = 0; i < first.sink.pixels().size(); ++i) {
        const core::Argb a = first.sink.pixels()[i], b = second.sink.pixels()[i];
        if (a != b && (a != kFirst || b != kSecond))
            broken("the background changed a pixel the file sets");
    }
    return 0;
}
