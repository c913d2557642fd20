#include "dib/transfer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "common/clock.h"
#include "common/grid_checks.h"

namespace orv {

Result<std::int32_t> GetData(const SurfaceView& surface, std::int32_t X1, std::int32_t Y1,
                             std::int32_t X2, std::int32_t Y2, PixelGrid& grid,
                             std::int32_t BitsPerPixel) {
    const Stopwatch watch;
    if (Status bpp = requireBitsPerPixel(BitsPerPixel); !bpp) return bpp.failure();
    const std::int64_t width = static_cast<std::int64_t>(X2) - X1 + 1;
    const std::int64_t height = static_cast<std::int64_t>(Y2) - Y1 + 1;
    // The extents may pass 32 bits; dimension() itself leaves the grid as it
    // was when it refuses, and otherwise reuses its buffer.
    if (Status size = PixelGrid::checkSize(4, width, height); !size) return size.failure();
    if (Status dim =
            grid.dimension(4, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
        !dim) {
        return dim.failure();
    }
    const std::int64_t rows = std::min<std::int64_t>(height, surface.height);
    const std::int64_t cols = std::min<std::int64_t>(width, surface.width);
    if (surface.bits && cols > 0) {
        for (std::int64_t y = 0; y < rows; ++y) {
            const std::uint8_t* line =
                surface.bits + (surface.height - 1 - y) * surface.bytesPerLine;
            std::memcpy(grid.data() + y * width * 4, line, static_cast<std::size_t>(cols * 4));
        }
    }
    return watch.elapsedMs();
}

Result<std::int32_t> DrawPic(const SurfaceView& surface, std::int32_t height, std::int32_t width,
                             const PixelGrid& grid, std::int32_t BitsPerPixel) {
    const Stopwatch watch;
    if (Status ok = requireSource(grid, width, height, BitsPerPixel); !ok) {
        return ok.failure();
    }
    const std::int64_t rows = std::min<std::int64_t>(height, surface.height);
    const std::int64_t cols = std::min<std::int64_t>(width, surface.width);
    if (surface.bits && cols > 0) {
        for (std::int64_t y = 0; y < rows; ++y) {
            std::uint8_t* line = surface.bits + (surface.height - 1 - y) * surface.bytesPerLine;
            std::memcpy(line, grid.data() + y * static_cast<std::int64_t>(width) * 4,
                        static_cast<std::size_t>(cols * 4));
        }
    }
    return watch.elapsedMs();
}

Result<std::int32_t> CopyData(const PixelGrid& source, PixelGrid& result, std::int32_t width,
                              std::int32_t height, std::int32_t BitsPerPixel) {
    const Stopwatch watch;
    if (Status ok = requireSource(source, width, height, BitsPerPixel); !ok) {
        return ok.failure();
    }
    assert(&source != &result);
    if (Status dim = result.dimension(4, width, height); !dim) return dim.failure();
    if (result.byteCount() > 0) std::memcpy(result.data(), source.data(), result.byteCount());
    return watch.elapsedMs();
}

}  // namespace orv
