// Preconditions shared by the image procedures, checked before anything is
// written so that a refused call leaves every grid as it was.
#pragma once

#include <cstdint>
#include <string>

#include "common/pixel_grid.h"
#include "common/result.h"

namespace orv {

// Only 32-bit pixels exist in this tool.
inline Status requireBitsPerPixel(std::int32_t bitsPerPixel) {
    if (bitsPerPixel != kBitsPerPixel) {
        return fail(std::to_string(bitsPerPixel) + " bits per pixel are not supported (only 32)");
    }
    return Done{};
}

// The grid holds at least width x height 32-bit pixels, whatever its own
// dimensions: enough for a procedure that walks the first width x height x 4
// bytes as one run.
inline Status requirePixels(const PixelGrid& grid, std::int32_t width, std::int32_t height) {
    if (width < 0 || height < 0) {
        return fail("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels is not possible");
    }
    const auto needed = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4u;
    if (grid.byteCount() < needed) {
        return fail("the picture holds fewer than " + std::to_string(width) + " x " +
                    std::to_string(height) + " pixels");
    }
    return Done{};
}

// The grid is dimensioned with 32-bit pixels and spans at least width x height
// of them: what a procedure needs that addresses the grid as (c, x, y), where
// a row is the grid's own width long.
inline Status requireExtent(const PixelGrid& grid, std::int32_t width, std::int32_t height) {
    if (grid.empty()) return fail("there is no picture to work on (it has not been read)");
    if (grid.bytesPerPixel() != 4) {
        return fail("the picture has " + std::to_string(grid.bytesPerPixel()) +
                    " bytes per pixel, not 4");
    }
    if (width < 0 || height < 0) {
        return fail("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels is not possible");
    }
    if (width > grid.width() || height > grid.height()) {
        return fail("the picture is " + std::to_string(grid.width()) + " x " +
                    std::to_string(grid.height()) + " pixels, which does not cover " +
                    std::to_string(width) + " x " + std::to_string(height));
    }
    return Done{};
}

// The entry test of a procedure that walks the grid's bytes as one run.
inline Status requireSource(const PixelGrid& grid, std::int32_t width, std::int32_t height,
                            std::int32_t bitsPerPixel) {
    Status bpp = requireBitsPerPixel(bitsPerPixel);
    if (!bpp) return bpp;
    return requirePixels(grid, width, height);
}

// The entry test of a procedure that addresses the grid as (c, x, y).
inline Status requireSourceExtent(const PixelGrid& grid, std::int32_t width, std::int32_t height,
                                  std::int32_t bitsPerPixel) {
    Status bpp = requireBitsPerPixel(bitsPerPixel);
    if (!bpp) return bpp;
    return requireExtent(grid, width, height);
}

}  // namespace orv
