// Bulk transfers between a picture's surface and a PixelGrid, and between two
// grids. Each returns its elapsed milliseconds.
#pragma once

#include <cstdint>

#include "common/pixel_grid.h"
#include "common/result.h"

namespace orv {

// A picture's persistent surface as it lies in memory: `height` rows of
// `width` 32-bit pixels (bytes blue, green, red, fourth byte), top row first,
// `bytesPerLine` apart.
struct SurfaceView {
    std::uint8_t* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int64_t bytesPerLine = 0;
};

// Reads the surface into `grid`: a grid of (X2 - X1 + 1) x (Y2 - Y1 + 1) pixels,
// filled from scan line 0 (the picture's bottom row) upward and from the left
// column on; X1 and Y1 do not move the read. Parts of the grid that lie beyond
// the surface stay zero. Fails (grid untouched) on a size that cannot be made.
Result<std::int32_t> GetData(const SurfaceView& surface, std::int32_t X1, std::int32_t Y1,
                             std::int32_t X2, std::int32_t Y2, PixelGrid& grid,
                             std::int32_t BitsPerPixel);

// Writes `height` rows of `width` pixels from the grid's bytes into the surface,
// grid row 0 onto the picture's bottom row; what lies beyond the surface is
// dropped. Fails (surface untouched) when the grid holds fewer than
// width x height pixels.
Result<std::int32_t> DrawPic(const SurfaceView& surface, std::int32_t height, std::int32_t width,
                             const PixelGrid& grid, std::int32_t BitsPerPixel);

// Copies width x height pixels of `source`, all four bytes, into `result`.
// Fails (result untouched) when the source holds fewer pixels.
Result<std::int32_t> CopyData(const PixelGrid& source, PixelGrid& result, std::int32_t width,
                              std::int32_t height, std::int32_t BitsPerPixel);

}  // namespace orv
