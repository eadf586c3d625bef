// libFuzzer target for the JPEG decoder: any bytes, taken as a whole file.
// Beyond what the sanitizers catch, the decoder's promises are checked: the
// size from our walk of the markers is the size libjpeg decodes; rows come
// once each from the top, every pixel opaque; a file is refused only with
// a Failure in words; and a file decoded whole decodes at a reduced scale
// too, at least as large as asked.
#include <algorithm>
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

// Refuses pictures past a few megapixels, as the program's sinks refuse
// those past their own limits.
class Sink : public core::RowSink {
public:
    struct Refused {};
    static constexpr long kMostPixels = 4'000'000;

    void begin(core::Size size, bool hasAlpha) override {
        if (began_)
            broken("begin twice");
        began_ = true;
        if (hasAlpha)
            broken("a JPEG's picture is opaque");
        if (size.width < 1 || size.height < 1)
            broken("an empty picture begun");
        if (static_cast<long>(size.width) * size.height > kMostPixels)
            throw Refused();
        size_ = size;
        row_.assign(static_cast<std::size_t>(size.width), 0);
    }
    core::Argb* row(int y) override {
        if (!began_ || open_ || y != next_ || y >= size_.height)
            broken("a row out of order");
        open_ = true;
        std::fill(row_.begin(), row_.end(), 0);
        return row_.data();
    }
    void done(int y) override {
        if (!open_ || y != next_)
            broken("done for another row");
        open_ = false;
        for (const core::Argb pixel : row_)
            if (core::alpha_of(pixel) != 255)
                broken("a pixel left unset or not opaque");
        ++next_;
    }

    core::Size size() const { return size_; }
    bool complete() const { return began_ && !open_ && next_ == size_.height; }

private:
    bool began_ = false;
    bool open_ = false;
    int next_ = 0;
    core::Size size_;
    std::vector<core::Argb> row_;
};

// Whether the file decoded; a refusal must say why.
bool decode(const std::uint8_t* data, std::size_t size, core::Size atLeast, Sink& sink) {
    core::MemorySource source(data, size);
    core::DecodeOptions options;
    options.atLeast = atLeast;
    try {
        core::jpeg::decode(source, options, sink);
        if (!sink.complete())
            broken("decoded without every row");
        return true;
    } catch (const core::Failure& e) {
        if (std::string(e.what()).empty())
            broken("a refusal without words");
    } catch (const Sink::Refused&) {
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<core::Size> header;
    try {
        core::MemorySource source(data, size);
        header = core::jpeg::size(source);
    } catch (const core::Failure& e) {
        if (std::string(e.what()).empty())
            broken("a refusal without words");
    }

    Sink whole;
    if (!decode(data, size, {}, whole))
        return 0;
    if (!header)
        broken("decoded what size() refused");
    if (!(whole.size() == *header))
        broken("decoded another size than size() gave");

    const core::Size half{(header->width + 1) / 2, (header->height + 1) / 2};
    Sink reduced;
    if (!decode(data, size, half, reduced))
        broken("refused at a reduced scale what decodes whole");
    if (reduced.size().width < half.width || reduced.size().height < half.height ||
        reduced.size().width > header->width || reduced.size().height > header->height)
        broken("a reduced scale outside what was asked");
    return 0;
}
