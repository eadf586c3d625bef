#include "core/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace core {

namespace {

constexpr std::size_t kLargePage = std::size_t(2) << 20;

std::size_t pixel_count(Size size) { return static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height); }

}  // namespace

std::shared_ptr<Argb[]> allocate_pixels(std::size_t count) {
    const std::size_t bytes = std::max<std::size_t>(count, 1) * sizeof(Argb);
    if (bytes < kLargePage / 2)
        return std::shared_ptr<Argb[]>(new Argb[std::max<std::size_t>(count, 1)]);
    // A mapping of its own, trimmed to start on a large page.
    const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void* mapped = ::mmap(nullptr, rounded + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    auto* start = static_cast<char*>(mapped);
    auto* aligned = reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1));
    if (aligned > start)
        ::munmap(start, static_cast<std::size_t>(aligned - start));
    if (const std::size_t after = static_cast<std::size_t>(start + rounded + kLargePage - (aligned + rounded)))
        ::munmap(aligned + rounded, after);
    ::madvise(aligned, rounded, MADV_HUGEPAGE);
    return std::shared_ptr<Argb[]>(reinterpret_cast<Argb*>(aligned),
                                   [rounded](Argb* p) { ::munmap(p, rounded); });
}

Picture::Picture(int width, int height, Argb fill) : size_{std::max(width, 0), std::max(height, 0)} {
    pixels_ = allocate_pixels(pixel_count(size_));
    // A fresh mapping reads as zero already: filling it would only touch
    // every page twice.
    if (fill != 0 || pixel_count(size_) * sizeof(Argb) < kLargePage / 2)
        std::fill_n(pixels_.get(), pixel_count(size_), fill);
}

Argb* Picture::row(int y) {
    if (pixels_.use_count() > 1) {
        std::shared_ptr<Argb[]> own = allocate_pixels(pixel_count(size_));
        std::copy_n(pixels_.get(), pixel_count(size_), own.get());
        pixels_ = std::move(own);
    }
    return pixels_.get() + static_cast<std::size_t>(y) * size_.width;
}

bool operator==(const Picture& a, const Picture& b) {
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    return a.size_ == b.size_ && std::equal(a.pixels_.get(), a.pixels_.get() + pixel_count(a.size_), b.pixels_.get());
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
