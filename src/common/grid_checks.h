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

// The grid holds at least width x height 32-bit pixels.
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

// Both checks at once, the usual entry test of a procedure.
inline Status requireSource(const PixelGrid& grid, std::int32_t width, std::int32_t height,
                            std::int32_t bitsPerPixel) {
    Status bpp = requireBitsPerPixel(bitsPerPixel);
    if (!bpp) return bpp;
    return requirePixels(grid, width, height);
}

}  // namespace orv
