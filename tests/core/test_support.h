// Helpers shared by the core tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "common/pixel_grid.h"

namespace orv::test {

// A grid of w x h pixels where every pixel is fill(x, y) as B, G, R, fourth.
struct Bgrx {
    std::uint8_t b, g, r, x;
    bool operator==(const Bgrx&) const = default;
};

inline Bgrx pixelAt(const PixelGrid& g, std::int32_t x, std::int32_t y) {
    return {g(0, x, y), g(1, x, y), g(2, x, y), g(3, x, y)};
}

inline PixelGrid makeGrid(std::int32_t w, std::int32_t h,
                          const std::function<Bgrx(std::int32_t, std::int32_t)>& fill) {
    PixelGrid g;
    (void)g.dimension(4, w, h);
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            const Bgrx p = fill(x, y);
            g(0, x, y) = p.b;
            g(1, x, y) = p.g;
            g(2, x, y) = p.r;
            g(3, x, y) = p.x;
        }
    }
    return g;
}

inline PixelGrid uniformGrid(std::int32_t w, std::int32_t h, Bgrx p) {
    return makeGrid(w, h, [p](std::int32_t, std::int32_t) { return p; });
}

// While it lives, every request of more than `bytes` to operator new on this
// thread fails with std::bad_alloc (allocation_cap.cpp).
class AllocationCap {
  public:
    explicit AllocationCap(std::size_t bytes);
    ~AllocationCap();
    AllocationCap(const AllocationCap&) = delete;
    AllocationCap& operator=(const AllocationCap&) = delete;

  private:
    std::size_t previous_;
};

}  // namespace orv::test
