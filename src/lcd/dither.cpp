#include "lcd/dither.h"

#include <algorithm>
#include <array>
#include <vector>

#include "lcd/mono.h"

namespace orv {
namespace {

constexpr std::array<std::uint8_t, 4096> kBlueNoise = {
#include "blue_noise_mask.inc"
};

// The 8 x 8 Bayer index matrix by the usual recursion from M(1) = [0]:
// M(2n) = [[4M, 4M + 2], [4M + 3, 4M + 1]]. Each doubling puts its new
// offsets in the lowest bits, so neighbouring pixels differ most: half grey
// is a one-pixel checkerboard.
constexpr std::array<std::array<int, 8>, 8> bayerMatrix() {
    std::array<std::array<int, 8>, 8> m{};  // m[0][0] = 0 is M(1)
    constexpr int offset[2][2] = {{0, 2}, {3, 1}};
    for (int n = 1; n < 8; n *= 2) {
        std::array<std::array<int, 8>, 8> next{};
        for (int y = 0; y < 2 * n; ++y) {
            for (int x = 0; x < 2 * n; ++x) next[y][x] = 4 * m[y % n][x % n] + offset[y / n][x / n];
        }
        m = next;
    }
    return m;
}
constexpr auto kBayer = bayerMatrix();

// A frame's pixels in the source grid and in its entries.
struct FramePixels {
    const PixelGrid& g;
    int height;
    std::span<std::int32_t> entries;

    // The luma of frame pixel (c, r) for the methods other than engrave.
    int luma(int c, int r) const {
        const int y = height - 1 - r;
        return luma601(g(0, c, y), g(1, c, y), g(2, c, y));
    }
    void store(int c, int r, bool light) const {
        entries[static_cast<std::size_t>(height * c + height - 1 - r)] = light ? MonoLight : 0;
    }
    // Stores every pixel, light(c, r) saying which are light, a page of 8
    // rows at a time: the grid's rows and the entries' columns are then read
    // and written close together, however large the frame.
    template <class Light>
    void storeAll(int width, Light light) const {
        for (int top = 0; top < height; top += 8) {
            for (int c = 0; c < width; ++c) {
                for (int r = top; r < top + 8; ++r) store(c, r, light(c, r));
            }
        }
    }
};

}  // namespace

int bayerThreshold(int c, int r) { return kBayer[r % 8][c % 8] * 4 + 2; }

int blueNoiseThreshold(int c, int r) { return kBlueNoise[(r % 64) * 64 + (c % 64)]; }

void applyTone(Dither method, const ToneCurve& tone, PixelGrid& picture, int column, int row,
               int width, int height, FrameSize frame) {
    if (tone.identity() || picture.bytesPerPixel() < 3) return;
    // Within the frame and within the picture (frame row r is grid row
    // frame.height - 1 - r).
    const std::int64_t left = column, top = row, bottom = frame.height - 1;
    const std::int64_t c0 = std::max<std::int64_t>(left, 0);
    const std::int64_t c1 = std::min<std::int64_t>({left + width, frame.width, picture.width()});
    const std::int64_t r0 = std::max<std::int64_t>({top, 0, frame.height - picture.height()});
    const std::int64_t r1 = std::min<std::int64_t>(top + height, frame.height);
    for (auto r = static_cast<int>(r0); r < r1; ++r) {
        for (auto c = static_cast<int>(c0); c < c1; ++c) {
            std::uint8_t* p = &picture(0, c, static_cast<int>(bottom - r));
            const int L = method == Dither::Engrave ? engraveLuminance(p[0], p[1], p[2])
                                                    : luma601(p[0], p[1], p[2]);
            p[0] = p[1] = p[2] = tone(L);
        }
    }
}

Result<Dither> parseDither(const std::string& name) {
    if (name == "engrave") return Dither::Engrave;
    if (name == "threshold") return Dither::Threshold;
    if (name == "bayer") return Dither::Bayer;
    if (name == "floyd-steinberg") return Dither::FloydSteinberg;
    if (name == "blue-noise") return Dither::BlueNoise;
    return fail("unknown dither \"" + name +
                "\" (engrave, threshold, bayer, floyd-steinberg or blue-noise)");
}

void ditherFrame(Dither method, const PixelGrid& source, int threshold, MonoFrameArray& MonoFrame) {
    ditherFrame(method, source, threshold, kLcdSize, MonoFrame);
}

void ditherFrame(Dither method, const PixelGrid& source, int threshold, FrameSize size,
                 std::span<std::int32_t> entries) {
    const FramePixels f{source, size.height, entries};
    const int width = size.width, height = size.height;
    switch (method) {
        case Dither::Engrave:  // Pencil's
            break;
        case Dither::Threshold:
        case Dither::Bayer:
        case Dither::BlueNoise:
            f.storeAll(width, [&](int c, int r) {
                const int t = method == Dither::Threshold ? threshold
                              : method == Dither::Bayer   ? bayerThreshold(c, r)
                                                          : blueNoiseThreshold(c, r);
                return f.luma(c, r) > t;
            });
            break;
        case Dither::FloydSteinberg: {
            // Row by row, left to right, in whole numbers: each share of a
            // pixel's error (7, 3, 5 and 1 sixteenths) is rounded toward zero,
            // and the value it goes to stays within 0..255. An error of -2..2
            // passes nothing on, so a change of one level where the picture is
            // within two levels of black or white stays where it is; elsewhere
            // it mostly dies out in a few pixels, and about one in ten meets a
            // pixel on the threshold first and moves the dots after it. This
            // is ffmpeg's paletteuse arithmetic: on a black and white palette
            // its floyd_steinberg gives the same pixels.
            std::vector<int> value(size.pixels());
            for (int r = 0; r < height; ++r) {
                for (int c = 0; c < width; ++c) value[r * width + c] = f.luma(c, r);
            }
            for (int r = 0; r < height; ++r) {
                for (int c = 0; c < width; ++c) {
                    int& v = value[r * width + c];
                    const bool light = v > 127;
                    const int err = v - (light ? 255 : 0);
                    auto spread = [&](int dc, int dr, int sixteenths) {
                        const int cc = c + dc, rr = r + dr;
                        if (cc < 0 || cc >= width || rr >= height) return;
                        int& t = value[rr * width + cc];
                        t = std::clamp(t + err * sixteenths / 16, 0, 255);
                    };
                    spread(1, 0, 7);
                    spread(-1, 1, 3);
                    spread(0, 1, 5);
                    spread(1, 1, 1);
                    v = light;
                }
            }
            f.storeAll(width, [&](int c, int r) { return value[r * width + c] != 0; });
            break;
        }
    }
}

void invertFrame(std::span<std::int32_t> entries) {
    for (std::int32_t& pixel : entries) pixel = pixel == 0 ? MonoLight : 0;
}

}  // namespace orv
