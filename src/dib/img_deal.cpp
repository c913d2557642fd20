#include "dib/img_deal.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <string>

#include "common/clock.h"
#include "common/grid_checks.h"
#include "common/numbers.h"

namespace orv {
namespace {

using num::roundHalfEven;
using Channels = std::array<int, 3>;

Channels bgrAt(const PixelGrid& g, std::int32_t x, std::int32_t y) {
    return {g(0, x, y), g(1, x, y), g(2, x, y)};
}

void putBgr(PixelGrid& g, std::int32_t x, std::int32_t y, const Channels& v) {
    for (int c = 0; c < 3; ++c) g(c, x, y) = static_cast<std::uint8_t>(v[c]);
}

std::uint8_t roundToByte(double v) { return static_cast<std::uint8_t>(roundHalfEven(v)); }

// One pass of the zoom along a line of `count` samples onto `outCount`
// positions. Each span from sample j to j + 1 starts at round(pos) with the
// sample itself and fills its inner positions by repeated Single steps of
// inv x (next - cur). Positions that no span reaches, from the end of the last
// span to the last position, take the last sample.
template <class Get, class Put>
void zoomLine(std::int32_t count, std::int32_t outCount, float scale, float inv, Get get, Put put) {
    auto putInside = [&](std::int64_t at, const Channels& v) {
        if (at >= 0 && at < outCount) put(static_cast<std::int32_t>(at), v);
    };
    Channels cur = get(0);
    Channels next = cur;
    float pos = 0.0f;
    std::int64_t spanEnd = 0;
    for (std::int32_t j = 0; j + 1 < count; ++j) {
        const float nextPos = pos + scale;
        const auto p0 = static_cast<std::int64_t>(roundHalfEven(pos));
        const auto p1 = static_cast<std::int64_t>(roundHalfEven(nextPos));
        putInside(p0, cur);
        next = get(j + 1);
        if (p1 - p0 >= 2) {
            std::array<float, 3> step{};
            std::array<float, 3> acc{};
            for (int c = 0; c < 3; ++c) step[c] = inv * static_cast<float>(next[c] - cur[c]);
            for (std::int64_t k = p0 + 1; k <= p1 - 1 && k < outCount; ++k) {
                Channels v{};
                for (int c = 0; c < 3; ++c) {
                    acc[c] = acc[c] + step[c];
                    const float sum = acc[c] + static_cast<float>(cur[c]);
                    v[c] = static_cast<int>(roundHalfEven(sum));
                }
                putInside(k, v);
            }
        }
        pos = nextPos;
        cur = next;
        spanEnd = p1;
    }
    for (std::int64_t k = std::min<std::int64_t>(spanEnd, outCount - 1); k < outCount; ++k) {
        putInside(k, next);
    }
}

// 1 / floor(scale + 1), the sum and the quotient held as Single.
float zoomInverse(float scale) {
    const float divisor = std::floor(scale + 1.0f);
    return static_cast<float>(1.0 / static_cast<double>(divisor));
}

}  // namespace

Result<std::int32_t> StatChart(const PixelGrid& source, PixelGrid& result, std::int32_t width,
                               std::int32_t height, std::int32_t BitsPerPixel) {
    const Stopwatch watch;
    if (Status ok = requireSource(source, width, height, BitsPerPixel); !ok) {
        return ok.failure();
    }
    if (width == 0 || height == 0) {
        return fail("histogram equalisation needs a picture of at least 1 x 1 pixel");
    }
    assert(&source != &result);
    if (Status dim = result.dimension(4, width, height); !dim) return dim.failure();

    std::array<std::int32_t, 256> counts{};
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::uint8_t* s = source.data();
    for (std::size_t i = 0; i < pixels; ++i, s += 4) {
        ++counts[(3 * s[2] + 6 * s[1] + s[0]) / 10];
    }
    const double inverse = 1.0 / static_cast<double>(pixels);
    std::array<float, 256> share{};
    share[0] = static_cast<float>(counts[0] * inverse);
    for (int l = 1; l < 256; ++l) {
        share[l] = static_cast<float>(counts[l] * inverse + static_cast<double>(share[l - 1]));
    }
    std::array<std::uint8_t, 256> map{};
    for (int l = 1; l < 256; ++l) {
        const float scaled = share[l] * 255.0f;
        map[l] = static_cast<std::uint8_t>(std::min(255.0, roundHalfEven(scaled)));
    }
    s = source.data();
    std::uint8_t* d = result.data();
    for (std::size_t i = 0; i < pixels; ++i, s += 4, d += 4) {
        d[0] = map[s[0]];
        d[1] = map[s[1]];
        d[2] = map[s[2]];
    }
    return watch.elapsedMs();
}

Result<std::int32_t> Bright(const PixelGrid& source, PixelGrid& result, std::int32_t width,
                            std::int32_t height, std::int32_t redBrightness,
                            std::int32_t greenBrightness, std::int32_t blueBrightness,
                            float redContrast, float greenContrast, float blueContrast,
                            std::int32_t BitsPerPixel) {
    const Stopwatch watch;
    if (Status ok = requireSource(source, width, height, BitsPerPixel); !ok) {
        return ok.failure();
    }
    // Channel order in a pixel: blue (0), green (1), red (2).
    const std::array<std::int32_t, 3> brightness{blueBrightness, greenBrightness, redBrightness};
    const std::array<float, 3> contrast{blueContrast, greenContrast, redContrast};
    const std::array<const char*, 3> names{"blue", "green", "red"};
    std::array<std::array<std::uint8_t, 256>, 3> maps{};
    for (int c : {2, 1, 0}) {
        if (!std::isfinite(contrast[c])) {
            return fail(std::string(names[c]) + " contrast is not a finite number");
        }
        const double raw =
            static_cast<double>(brightness[c]) - (static_cast<double>(contrast[c]) - 1.0) * 127.0;
        Result<std::int16_t> offset =
            num::toInt16(raw, std::string(names[c]) + " brightness offset");
        if (!offset) return offset.failure();
        // The result depends on the byte alone, so each channel is one table.
        for (int v = 0; v < 256; ++v) {
            float value = static_cast<float>(v) * contrast[c];
            value = value + static_cast<float>(offset.value());
            if (value > 255.0f) value = 255.0f;
            if (value < 0.0f) value = 0.0f;
            maps[c][v] = roundToByte(value);
        }
    }
    assert(&source != &result);
    if (Status dim = result.dimension(4, width, height); !dim) return dim.failure();
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::uint8_t* s = source.data();
    std::uint8_t* d = result.data();
    for (std::size_t i = 0; i < pixels; ++i, s += 4, d += 4) {
        d[0] = maps[0][s[0]];
        d[1] = maps[1][s[1]];
        d[2] = maps[2][s[2]];
    }
    return watch.elapsedMs();
}

Result<std::int32_t> Zoom(const PixelGrid& source, PixelGrid& result, std::int32_t W,
                          std::int32_t H, std::int32_t newW, std::int32_t newH,
                          std::int32_t BitsPerPixel) {
    const Stopwatch watch;
    if (Status ok = requireSourceExtent(source, W, H, BitsPerPixel); !ok) {
        return ok.failure();
    }
    if (W < 2 || H < 2) {
        return fail("zoom needs a picture of at least 2 x 2 pixels, not " + std::to_string(W) +
                    " x " + std::to_string(H));
    }
    if (newW < 1 || newH < 1) {
        return fail("the zoomed size " + std::to_string(newW) + " x " + std::to_string(newH) +
                    " is less than 1 x 1 pixel");
    }
    if (Status size = PixelGrid::checkSize(4, W, newH); !size) return size.failure();
    if (Status size = PixelGrid::checkSize(4, newW, newH); !size) return size.failure();
    assert(&source != &result);

    PixelGrid temp;  // TempGrid: W x newH, the vertical pass
    if (Status dim = temp.dimension(4, W, newH); !dim) return dim.failure();
    PixelGrid zoomed;
    if (Status dim = zoomed.dimension(4, newW, newH); !dim) return dim.failure();

    const float xScale = static_cast<float>(static_cast<double>(newW) / W);
    const float yScale = static_cast<float>(static_cast<double>(newH) / H);
    const float invY = zoomInverse(yScale);
    for (std::int32_t i = 0; i < W; ++i) {
        zoomLine(
            H, newH, yScale, invY, [&](std::int32_t j) { return bgrAt(source, i, j); },
            [&](std::int32_t k, const Channels& v) { putBgr(temp, i, k, v); });
    }
    const float invX = zoomInverse(xScale);
    for (std::int32_t j = 0; j < newH; ++j) {
        zoomLine(
            W, newW, xScale, invX, [&](std::int32_t i) { return bgrAt(temp, i, j); },
            [&](std::int32_t k, const Channels& v) { putBgr(zoomed, k, j, v); });
    }
    result = std::move(zoomed);
    return watch.elapsedMs();
}

Result<std::int32_t> Sharp(const PixelGrid& source, PixelGrid& result, std::int32_t W,
                           std::int32_t H, float k, std::int32_t BitsPerPixel) {
    const Stopwatch watch;
    if (Status ok = requireSourceExtent(source, W, H, BitsPerPixel); !ok) {
        return ok.failure();
    }
    if (!std::isfinite(k)) return fail("sharpen strength is not a finite number");
    const float a = k + 1.0f;
    const float b = -k / 3.0f;
    // Each term and their sum must stay inside the 32-bit range. The terms
    // are largest at P = 255 and S = 765, and of opposite signs but for
    // -1 < k < 0, where both are small.
    const double centreEnd = roundHalfEven(255 * static_cast<double>(a));
    const double pullEnd = roundHalfEven(static_cast<double>(b) * 765);
    const double low = std::min(centreEnd, 0.0) + std::min(pullEnd, 0.0);
    const double high = std::max(centreEnd, 0.0) + std::max(pullEnd, 0.0);
    if (low < INT32_MIN || high > INT32_MAX) {
        return fail("sharpen strength " + num::formatSingle(k) +
                    " is too large: its values would not fit in 32 bits "
                    "(-8421504 .. 8421503 do)");
    }
    assert(&source != &result);
    if (Status dim = result.dimension(4, W, H); !dim) return dim.failure();
    // Both terms depend on one whole number each, so each is one table.
    std::array<std::int32_t, 256> centre{};
    for (int P = 0; P < 256; ++P) {
        centre[P] = static_cast<std::int32_t>(roundHalfEven(P * static_cast<double>(a)));
    }
    std::array<std::int32_t, 766> pull{};
    for (int S = 0; S < 766; ++S) {
        pull[S] = static_cast<std::int32_t>(roundHalfEven(static_cast<double>(b) * S));
    }
    for (std::int32_t y = 0; y + 1 < H; ++y) {
        for (std::int32_t x = 0; x + 1 < W; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int S = source(c, x + 1, y + 1) + source(c, x, y + 1) + source(c, x + 1, y);
                const std::int32_t value = centre[source(c, x, y)] + pull[S];
                result(c, x, y) = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
            }
        }
    }
    return watch.elapsedMs();
}

Result<std::int32_t> zoomedSize(double factor, std::int32_t size, const char* axis) {
    Result<std::int32_t> n = num::toInt32(factor * size, std::string("zoomed ") + axis);
    if (!n) return n;
    if (n.value() < 1) {
        return fail(std::string("zoom factor ") + num::formatDouble(factor) + " makes the " + axis +
                    " " + std::to_string(n.value()) + ", less than 1 pixel");
    }
    return n;
}

}  // namespace orv
