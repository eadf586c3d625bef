#include "core/picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>
#include <sys/mman.h>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace core {

namespace {

constexpr std::size_t kLargePage = std::size_t(2) << 20;

// WebAssembly's memory is one heap, with no pages to map, trim to a large
// page or give back in part (emscripten's munmap takes only whole
// mappings): there every picture comes from the heap, as a small one does
// elsewhere.
#ifdef __EMSCRIPTEN__
constexpr bool kMapsPages = false;
#else
constexpr bool kMapsPages = true;
#endif

std::size_t pixel_count(Size size) { return static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height); }

}  // namespace

namespace {

// A large block of pixel memory, and whether it still reads as zero.
struct Block {
    std::shared_ptr<Argb[]> pixels;
    bool zero = false;
};

// Large blocks that pictures are done with, kept for the next pictures: a
// batch then maps and unmaps no memory per picture, which in a process of
// several threads stops every core each time, and a fresh mapping's pages
// are not cleared again. Shared by all threads, since a picture decoded on
// one (a worker of zft, the window's decoding thread) is often let go on
// another; one a thread is enough.
class Spares {
public:
    void giveBack(char* memory, std::size_t size) {
        {
            const std::lock_guard lock(mutex_);
            if (blocks_.size() < most_) {
                blocks_.push_back({memory, size});
                return;
            }
        }
        ::munmap(memory, size);
    }
    char* take(std::size_t size) {
        const std::lock_guard lock(mutex_);
        for (auto block = blocks_.begin(); block != blocks_.end(); ++block) {
            if (block->second == size) {
                char* memory = block->first;
                blocks_.erase(block);
                return memory;
            }
        }
        return nullptr;
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<char*, std::size_t>> blocks_;
    const std::size_t most_ = std::max(2u, std::thread::hardware_concurrency());
};

// Never destroyed: pictures may outlive every static object.
Spares& spares() {
    static Spares* const spares = new Spares;
    return *spares;
}

void give_back(char* memory, std::size_t size) { spares().giveBack(memory, size); }

Block make_block(std::size_t count) {
    const std::size_t bytes = std::max<std::size_t>(count, 1) * sizeof(Argb);
    if (!kMapsPages || bytes < kLargePage / 2)
        return {std::shared_ptr<Argb[]>(new Argb[std::max<std::size_t>(count, 1)]), false};
    const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    auto block = [rounded](char* memory, bool zero) {
        return Block{std::shared_ptr<Argb[]>(reinterpret_cast<Argb*>(memory),
                                             [rounded](Argb* p) { give_back(reinterpret_cast<char*>(p), rounded); }),
                     zero};
    };
    if (char* memory = spares().take(rounded))
        return block(memory, false);
    // A mapping of its own, trimmed to start on a large page.
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
    return block(aligned, true);
}

}  // namespace

std::shared_ptr<Argb[]> allocate_pixels(std::size_t count) { return make_block(count).pixels; }

Picture::Picture(int width, int height, Argb fill) : size_{std::max(width, 0), std::max(height, 0)} {
    Block block = make_block(pixel_count(size_));
    pixels_ = std::move(block.pixels);
    // A fresh mapping reads as zero already: filling it would only touch
    // every page twice.
    if (fill != 0 || !block.zero)
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

namespace {

void pack_rgb(const Argb* line, int width, std::uint8_t* out) {
    for (int x = 0; x < width; ++x, out += 3) {
        out[0] = static_cast<std::uint8_t>(red_of(line[x]));
        out[1] = static_cast<std::uint8_t>(green_of(line[x]));
        out[2] = static_cast<std::uint8_t>(blue_of(line[x]));
    }
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen pixels a turn, each pixel's bytes picked in order with one shuffle:
// a tenth of the time of the plain loop, on every x86 processor of the last
// fifteen years.
__attribute__((target("ssse3"))) void pack_rgb_ssse3(const Argb* line, int width, std::uint8_t* out) {
    // In memory a pixel is B, G, R, A: take R, G, B of four pixels into the
    // first twelve bytes.
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    int x = 0;
    // Each 16-byte store writes 4 bytes past its 12: stop while that stays
    // inside the row.
    for (; x + 6 <= width; x += 4, out += 12) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(four, order));
    }
    pack_rgb(line + x, width - x, out);
}
#endif

}  // namespace

void rgb_bytes(const Argb* pixels, int width, std::uint8_t* out) {
#if defined(__x86_64__) || defined(__i386__)
    static const bool shuffles = __builtin_cpu_supports("ssse3");
    if (shuffles)
        return pack_rgb_ssse3(pixels, width, out);
#endif
    pack_rgb(pixels, width, out);
}

void pixels_of(const std::uint8_t* bytes, int width, int channels, Argb* out) {
    for (int x = 0; x < width; ++x, bytes += channels)
        out[x] = argb(bytes[0], bytes[1], bytes[2], channels == 4 ? bytes[3] : 255);
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
