#include "core/picture.h"

#include <algorithm>
#include <cmath>

namespace core {

Picture::Picture(int width, int height, Argb fill)
    : size_{std::max(width, 0), std::max(height, 0)},
      pixels_(std::make_shared<std::vector<Argb>>(static_cast<std::size_t>(size_.width) * size_.height, fill)) {}

Argb* Picture::row(int y) {
    if (pixels_.use_count() > 1)
        pixels_ = std::make_shared<std::vector<Argb>>(*pixels_);
    return pixels_->data() + static_cast<std::size_t>(y) * size_.width;
}

bool operator==(const Picture& a, const Picture& b) {
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    return a.size_ == b.size_ && *a.pixels_ == *b.pixels_;
}

Size fit_within(Size size, Size box) {
    if (size.width <= box.width && size.height <= box.height)
        return size;
    const double scale = std::min(static_cast<double>(box.width) / size.width,
                                  static_cast<double>(box.height) / size.height);
    auto side = [scale](int length, int most) {
        return std::clamp(static_cast<int>(std::lround(length * scale)), 1, most);
    };
    return {side(size.width, box.width), side(size.height, box.height)};
}

}  // namespace core
