#include "lcd/mono.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <vector>

#include "common/clock.h"
#include "common/random.h"
#include "dib/grid_checks.h"

namespace orv {

Result<std::int32_t> Pencil(const PixelGrid& source, PixelGrid& dest, std::int32_t width,
                            std::int32_t height, std::int32_t BitsPerPixel,
                            MonoFrameArray& MonoFrame, std::int32_t& MonoCount) {
    const Stopwatch watch;
    if (Status ok = detail::requireSource(source, width, height, BitsPerPixel); !ok) {
        return fail(ok.error());
    }
    assert(&source != &dest);
    if (Status dim = dest.dimension(4, width, height); !dim) return fail(dim.error());
    MonoCount = 0;

    const std::int64_t columns = std::max(width - 1, 0);
    const std::int64_t rows = std::max(height - 1, 0);
    const std::size_t visits = static_cast<std::size_t>(columns * rows);
    // One draw per visited pixel, in visiting order.
    static thread_local std::vector<float> draws;
    draws.resize(visits);
    rnd::fill(draws.data(), visits);

    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    const std::uint8_t* src = source.data();
    std::uint8_t* dst = dest.data();
    const float* u = draws.data();
    std::int32_t count = 0;
    for (std::int64_t x = 0; x < columns; ++x) {
        const std::uint8_t* s = src + x * 4;
        std::uint8_t* d = dst + x * 4;
        for (std::int64_t y = 0; y < rows; ++y, s += stride, d += stride, ++u) {
            const int L = (3 * s[0] + 6 * s[1] + s[2]) / 10;
            const bool light = L > 180 || static_cast<double>(*u) * L > 90.0;
            if (count < kMonoPixels) ++count;
            MonoFrame[static_cast<std::size_t>(count)] = light ? MonoLight : 0;
            const std::uint32_t pixel = light ? 0x00FFFFFFu : 0u;  // B, G, R = 255, fourth 0
            std::memcpy(d, &pixel, 4);
        }
    }
    MonoCount = count;
    return watch.elapsedMs();
}

}  // namespace orv
