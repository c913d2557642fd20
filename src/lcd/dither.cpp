#include "lcd/dither.h"

#include <array>
#include <vector>

#include "lcd/mono.h"

namespace orv {
namespace {

constexpr std::array<std::uint8_t, 4096> kBlueNoise = {
#include "blue_noise_mask.inc"
};

// The 8 x 8 Bayer index matrix, built by the usual recursion.
constexpr std::array<std::array<int, 8>, 8> bayerMatrix() {
    std::array<std::array<int, 8>, 8> m{};
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            int v = 0;
            for (int bit = 0; bit < 3; ++bit) {
                const int xb = (x >> (2 - bit)) & 1, yb = (y >> (2 - bit)) & 1;
                v = (v << 2) | ((xb ^ yb) << 1) | yb;
            }
            m[y][x] = v;
        }
    }
    return m;
}
constexpr auto kBayer = bayerMatrix();

int frameLuminance(const PixelGrid& g, int c, int r) {
    const int y = 63 - r;
    return luminance(g(0, c, y), g(1, c, y), g(2, c, y));
}

void store(MonoFrameArray& f, int c, int r, bool light) {
    f[64 * c + 64 - r] = light ? MonoLight : 0;
}

}  // namespace

int bayerThreshold(int c, int r) { return kBayer[r % 8][c % 8] * 4 + 2; }

int blueNoiseThreshold(int c, int r) { return kBlueNoise[(r % 64) * 64 + (c % 64)]; }

Result<Dither> parseDither(const std::string& name) {
    if (name == "engrave") return Dither::Engrave;
    if (name == "threshold") return Dither::Threshold;
    if (name == "bayer") return Dither::Bayer;
    if (name == "floyd-steinberg") return Dither::FloydSteinberg;
    if (name == "blue-noise") return Dither::BlueNoise;
    return fail("unknown dither \"" + name +
                "\" (engrave, threshold, bayer, floyd-steinberg or blue-noise)");
}

void reduceFrame(Dither method, const PixelGrid& source, int threshold, bool invert,
                 MonoFrameArray& MonoFrame, PixelGrid& scratch, rnd::Sequence& random) {
    switch (method) {
        case Dither::Engrave: {
            std::int32_t count = 0;
            (void)Pencil(source, scratch, source.width(), source.height(), kBitsPerPixel, MonoFrame,
                         count, random);
            break;
        }
        case Dither::Threshold:
        case Dither::Bayer:
        case Dither::BlueNoise:
            for (int r = 0; r < 64; ++r) {
                for (int c = 0; c < 128; ++c) {
                    const int t = method == Dither::Threshold ? threshold
                                  : method == Dither::Bayer   ? bayerThreshold(c, r)
                                                              : blueNoiseThreshold(c, r);
                    store(MonoFrame, c, r, frameLuminance(source, c, r) > t);
                }
            }
            break;
        case Dither::FloydSteinberg: {
            std::vector<float> value(128 * 64);
            for (int r = 0; r < 64; ++r) {
                for (int c = 0; c < 128; ++c)
                    value[r * 128 + c] = static_cast<float>(frameLuminance(source, c, r));
            }
            for (int r = 0; r < 64; ++r) {
                const bool rightward = r % 2 == 0;
                for (int i = 0; i < 128; ++i) {
                    const int c = rightward ? i : 127 - i;
                    const int ahead = rightward ? 1 : -1;
                    const float v = value[r * 128 + c];
                    const bool light = v > 127.5f;
                    store(MonoFrame, c, r, light);
                    const float err = v - (light ? 255.0f : 0.0f);
                    auto spread = [&](int dc, int dr, float share) {
                        const int cc = c + dc, rr = r + dr;
                        if (cc >= 0 && cc < 128 && rr < 64) value[rr * 128 + cc] += err * share;
                    };
                    spread(ahead, 0, 7.0f / 16);
                    spread(-ahead, 1, 3.0f / 16);
                    spread(0, 1, 5.0f / 16);
                    spread(ahead, 1, 1.0f / 16);
                }
            }
            break;
        }
    }
    if (invert) {
        for (int i = 1; i <= kMonoPixels; ++i) MonoFrame[i] = MonoFrame[i] == 0 ? MonoLight : 0;
    }
}

}  // namespace orv
