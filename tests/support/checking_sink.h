// What the decoders' fuzz targets share: a sink that checks a decoder's
// promises as its rows come (begun once, with a picture that is not empty;
// rows once each from the top; every pixel set, and opaque unless the
// picture has alpha) and keeps the picture, and a way to stop at a broken
// promise. Standard C++ only, as the fuzz targets are built.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/decoders/decoder.h"

namespace fuzzing {

[[noreturn]] inline void broken(const char* what) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

// A refusal must say why.
inline void check_refusal(const core::Failure& failure) {
    if (failure.reason().empty())
        broken("a refusal without words");
}

// Refuses pictures past a few megapixels, as the program's sinks refuse
// those past their own limits.
class CheckingSink : public core::RowSink {
public:
    struct Refused {};
    static constexpr long kMostPixels = 4'000'000;

    // `alphaAllowed`: whether the format can have pixels less than opaque.
    explicit CheckingSink(bool alphaAllowed) : alphaAllowed_(alphaAllowed) {}

    void begin(core::Size size, bool hasAlpha) override {
        if (began_)
            broken("begin twice");
        began_ = true;
        if (hasAlpha && !alphaAllowed_)
            broken("a picture of an opaque format begun with alpha");
        if (size.width < 1 || size.height < 1)
            broken("an empty picture begun");
        if (static_cast<long>(size.width) * size.height > kMostPixels)
            throw Refused();
        size_ = size;
        hasAlpha_ = hasAlpha;
        pixels_.assign(static_cast<std::size_t>(size.width) * size.height, 0);
    }
    core::Argb* row(int y) override {
        if (!began_ || open_ || y != next_ || y >= size_.height)
            broken("a row out of order");
        open_ = true;
        // Something no decoder sets: a pixel left unset shows.
        core::Argb* row = pixels_.data() + static_cast<std::size_t>(y) * size_.width;
        std::fill_n(row, size_.width, kUnset);
        return row;
    }
    void done(int y) override {
        if (!open_ || y != next_)
            broken("done for another row");
        open_ = false;
        const core::Argb* row = pixels_.data() + static_cast<std::size_t>(y) * size_.width;
        for (int x = 0; x < size_.width; ++x)
            if (hasAlpha_ ? row[x] == kUnset : core::alpha_of(row[x]) != 255)
                broken("a pixel left unset or not opaque");
        ++next_;
    }

    core::Size size() const { return size_; }
    bool complete() const { return began_ && !open_ && next_ == size_.height; }
    const std::vector<core::Argb>& pixels() const { return pixels_; }

private:
    static constexpr core::Argb kUnset = 0x00123456;
    const bool alphaAllowed_;
    bool began_ = false;
    bool open_ = false;
    bool hasAlpha_ = false;
    int next_ = 0;
    core::Size size_;
    std::vector<core::Argb> pixels_;
};

}  // namespace fuzzing
