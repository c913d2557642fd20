#include "dib/video_scale.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace orv {
namespace {

// Where an output pixel's centre falls in a source of `from` samples drawn
// over `to` pixels: the two neighbours and the weight of the second.
struct Tap {
    std::int32_t a;
    std::int32_t b;
    float w;
};

std::vector<Tap> taps(std::int32_t from, std::int32_t to) {
    std::vector<Tap> t(static_cast<std::size_t>(to));
    const double scale = static_cast<double>(from) / to;
    for (std::int32_t i = 0; i < to; ++i) {
        const double at = std::clamp((i + 0.5) * scale - 0.5, 0.0, from - 1.0);
        const auto a = static_cast<std::int32_t>(std::floor(at));
        t[static_cast<std::size_t>(i)] = {a, std::min(a + 1, from - 1), static_cast<float>(at - a)};
    }
    return t;
}

float sample(const std::uint8_t* plane, std::int64_t stride, int step, const Tap& x, const Tap& y) {
    const std::uint8_t* r0 = plane + y.a * stride;
    const std::uint8_t* r1 = plane + y.b * stride;
    const float top = r0[x.a * step] + (r0[x.b * step] - r0[x.a * step]) * x.w;
    const float bottom = r1[x.a * step] + (r1[x.b * step] - r1[x.a * step]) * x.w;
    return top + (bottom - top) * y.w;
}

std::uint8_t channel(float v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

}  // namespace

void scaleYuvToRgb(const YuvPlanes& f, YuvMatrix matrix, const SurfaceView& out) {
    if (!f.y || !f.cb || !f.cr || f.width <= 0 || f.height <= 0 || out.width <= 0 ||
        out.height <= 0) {
        return;
    }
    const std::int32_t cw = (f.width + 1) / 2, ch = (f.height + 1) / 2;
    const std::vector<Tap> lx = taps(f.width, out.width), ly = taps(f.height, out.height);
    const std::vector<Tap> cx = taps(cw, out.width), cy = taps(ch, out.height);
    // Luma offset and scale, and the chroma weights of red, green and blue.
    float y0 = 16, ys = 255.0f / 219, cs = 255.0f / 224;
    float rv = 1.402f, gu = -0.344136f, gv = -0.714136f, bu = 1.772f;
    if (matrix == YuvMatrix::Bt601Full) {
        y0 = 0;
        ys = cs = 1;
    } else if (matrix == YuvMatrix::Bt709) {
        rv = 1.5748f;
        gu = -0.187324f;
        gv = -0.468124f;
        bu = 1.8556f;
    }
    for (std::int32_t oy = 0; oy < out.height; ++oy) {
        std::uint8_t* row = out.bits + oy * out.bytesPerLine;
        for (std::int32_t ox = 0; ox < out.width; ++ox) {
            const float y = (sample(f.y, f.yStride, 1, lx[ox], ly[oy]) - y0) * ys;
            const float u = (sample(f.cb, f.chromaStride, f.chromaStep, cx[ox], cy[oy]) - 128) * cs;
            const float v = (sample(f.cr, f.chromaStride, f.chromaStep, cx[ox], cy[oy]) - 128) * cs;
            std::uint8_t* px = row + 4 * ox;
            px[0] = channel(y + bu * u);
            px[1] = channel(y + gu * u + gv * v);
            px[2] = channel(y + rv * v);
            px[3] = 0xFF;
        }
    }
}

}  // namespace orv
