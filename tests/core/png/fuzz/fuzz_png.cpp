// libFuzzer target for the PNG decoder: any bytes, taken as a whole file.
// Beyond what the sanitizers catch, the decoder's promises are checked: the
// size from the header chunk is the size decoded; rows come once each from
// the top, each pixel opaque unless the picture has alpha; a file is refused
// only with a Failure in words.
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
        if (size.width < 1 || size.height < 1)
            broken("an empty picture begun");
        if (static_cast<long>(size.width) * size.height > kMostPixels)
            throw Refused();
        size_ = size;
        hasAlpha_ = hasAlpha;
        row_.assign(static_cast<std::size_t>(size.width), 0);
    }
    core::Argb* row(int y) override {
        if (!began_ || open_ || y != next_ || y >= size_.height)
            broken("a row out of order");
        open_ = true;
        std::fill(row_.begin(), row_.end(), 0x00123456);
        return row_.data();
    }
    void done(int y) override {
        if (!open_ || y != next_)
            broken("done for another row");
        open_ = false;
        if (!hasAlpha_)
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
    bool hasAlpha_ = false;
    int next_ = 0;
    core::Size size_;
    std::vector<core::Argb> row_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<core::Size> header;
    try {
        core::MemorySource source(data, size);
        header = core::png::size(source);
    } catch (const core::Failure& e) {
        if (std::string(e.what()).empty())
            broken("a refusal without words");
    }

    Sink sink;
    try {
        core::MemorySource source(data, size);
        core::png::decode(source, {}, sink);
        if (!sink.complete())
            broken("decoded without every row");
        if (!header)
            broken("decoded what size() refused");
        if (!(sink.size() == *header))
            broken("decoded another size than size() gave");
    } catch (const core::Failure& e) {
        if (std::string(e.what()).empty())
            broken("a refusal without words");
    } catch (const Sink::Refused&) {
    }
    return 0;
}
