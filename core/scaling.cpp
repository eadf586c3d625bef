#include "core/scaling.h"

#include <algorithm>

namespace core {

void ReducingSink::begin(Size size, bool hasAlpha) {
    if (size.width < target_.width || size.height < target_.height || target_.width < 1 || target_.height < 1)
        throw damaged("the picture is smaller than the size it is to be reduced to");
    source_ = size;
    picture = Picture(target_.width, target_.height);
    picture.setHasAlpha(hasAlpha);
    input_.assign(static_cast<std::size_t>(size.width), 0);
    firstColumn_.resize(static_cast<std::size_t>(size.width));
    firstWeight_.resize(static_cast<std::size_t>(size.width));
    // In units of 1/target-width of a source pixel, source column x spans
    // [x·w, (x + 1)·w) and target column j spans [j·W, (j + 1)·W): one source
    // column falls in at most two target columns.
    const std::int64_t w = target_.width;
    const std::int64_t W = size.width;
    for (std::int64_t x = 0; x < W; ++x) {
        const std::int64_t j = x * w / W;
        firstColumn_[static_cast<std::size_t>(x)] = static_cast<int>(j);
        firstWeight_[static_cast<std::size_t>(x)] = static_cast<int>(std::min((x + 1) * w, (j + 1) * W) - x * w);
    }
    across_.assign(static_cast<std::size_t>(target_.width) + 1, Sum{});
    current_.assign(static_cast<std::size_t>(target_.width), Sum{});
    next_.assign(static_cast<std::size_t>(target_.width), Sum{});
    currentRow_ = 0;
}

void ReducingSink::done(int y) {
    std::fill(across_.begin(), across_.end(), Sum{});
    const std::int64_t w = target_.width;
    for (std::size_t x = 0; x < input_.size(); ++x) {
        const Argb c = input_[x];
        const std::int64_t a = alpha_of(c);
        const Sum pixel{a, a * red_of(c), a * green_of(c), a * blue_of(c)};
        const std::int64_t first = firstWeight_[x];
        const std::int64_t rest = w - first;
        Sum& to = across_[static_cast<std::size_t>(firstColumn_[x])];
        to.alpha += pixel.alpha * first;
        to.red += pixel.red * first;
        to.green += pixel.green * first;
        to.blue += pixel.blue * first;
        if (rest > 0) {
            Sum& after = across_[static_cast<std::size_t>(firstColumn_[x]) + 1];
            after.alpha += pixel.alpha * rest;
            after.red += pixel.red * rest;
            after.green += pixel.green * rest;
            after.blue += pixel.blue * rest;
        }
    }
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
