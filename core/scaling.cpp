#include "core/scaling.h"

#include <algorithm>

namespace core {

void ReducingSink::begin(Size size, bool hasAlpha) {
    if (size.width < target_.width || size.height < target_.height || target_.width < 1 || target_.height < 1)
        throw damaged("the picture is smaller than the size it is to be reduced to");
    source_ = size;
    picture = Picture(target_.width, target_.height);
    picture.setHasAlpha(hasAlpha);
    input_.clear();
    across_.assign(static_cast<std::size_t>(target_.width) + 1, Sum{});
    current_.assign(static_cast<std::size_t>(target_.width), Sum{});
    next_.assign(static_cast<std::size_t>(target_.width), Sum{});
}

Argb* ReducingSink::row(int) {
    input_.resize(static_cast<std::size_t>(source_.width));
    return input_.data();
}

void ReducingSink::piece(int, int x, const Argb* pixels, int n) {
    if (x == 0)
        std::fill(across_.begin(), across_.end(), Sum{});
    inPieces_ = true;
    across(x, pixels, n);
}

// Adds source columns x to x + n − 1 of the current row to across_. In units
// of 1/target-width of a source pixel, source column x spans [x·w, (x + 1)·w)
// and target column j spans [j·W, (j + 1)·W): a source column falls in at most
// two target columns, and the walk needs no table of the source's width.
void ReducingSink::across(int x0, const Argb* pixels, int n) {
    const std::int64_t w = target_.width;
    const std::int64_t W = source_.width;
    std::int64_t j = std::int64_t(x0) * w / W;
    std::int64_t end = (j + 1) * W;  // where target column j ends
    auto add = [this](std::int64_t column, const Sum& pixel, std::int64_t weight) {
        Sum& to = across_[static_cast<std::size_t>(column)];
        to.alpha += pixel.alpha * weight;
        to.red += pixel.red * weight;
        to.green += pixel.green * weight;
        to.blue += pixel.blue * weight;
    };
    for (int i = 0; i < n; ++i) {
        const Argb c = pixels[i];
        const std::int64_t a = alpha_of(c);
        const Sum pixel{a, a * red_of(c), a * green_of(c), a * blue_of(c)};
        const std::int64_t from = (std::int64_t(x0) + i) * w;
        const std::int64_t to = from + w;
        if (to <= end) {
            add(j, pixel, w);
        } else {
            add(j, pixel, end - from);
            add(j + 1, pixel, to - end);
        }
        if (to >= end) {
            ++j;
            end += W;
        }
    }
}

void ReducingSink::done(int y) {
    if (!inPieces_) {
        std::fill(across_.begin(), across_.end(), Sum{});
        across(0, input_.data(), source_.width);
    }
    inPieces_ = false;
    // The same split downwards: source row y falls in target rows k and k + 1.
    const std::int64_t h = target_.height;
    const std::int64_t H = source_.height;
    const std::int64_t k = y * h / H;
    const std::int64_t first = std::min((y + 1) * h, (k + 1) * H) - y * h;
    const std::int64_t rest = h - first;
    for (std::size_t j = 0; j < current_.size(); ++j) {
        const Sum& s = across_[j];
        current_[j].alpha += s.alpha * first;
        current_[j].red += s.red * first;
        current_[j].green += s.green * first;
        current_[j].blue += s.blue * first;
        if (rest > 0) {
            next_[j].alpha += s.alpha * rest;
            next_[j].red += s.red * rest;
            next_[j].green += s.green * rest;
            next_[j].blue += s.blue * rest;
        }
    }
    // Target row k is complete once the source rows reach its end.
    if ((y + 1) * h >= (k + 1) * H) {
        finishRow(static_cast<int>(k));
        std::swap(current_, next_);
        std::fill(next_.begin(), next_.end(), Sum{});
    }
}

void ReducingSink::finishRow(int y) {
    // Every target pixel gathers W · H units of weight.
    const std::int64_t units = std::int64_t(source_.width) * source_.height;
    auto rounded = [](std::int64_t n, std::int64_t d) { return static_cast<int>((2 * n + d) / (2 * d)); };
    Argb* row = picture.row(y);
    for (std::size_t j = 0; j < current_.size(); ++j) {
        const Sum& s = current_[j];
        if (s.alpha == 0) {
            row[j] = 0;
            continue;
        }
        row[j] = argb(rounded(s.red, s.alpha), rounded(s.green, s.alpha), rounded(s.blue, s.alpha),
                      rounded(s.alpha, units));
    }
}

Picture reduce(const Picture& picture, Size target) {
    ReducingSink sink(target);
    sink.begin(picture.size(), picture.hasAlpha());
    for (int y = 0; y < picture.height(); ++y) {
        std::copy_n(picture.row(y), picture.width(), sink.row(y));
        sink.done(y);
    }
    return sink.picture;
}

}  // namespace core
