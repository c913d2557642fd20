#include "lcd/dither.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "test_support.h"

using namespace orv;
using namespace orv::test;

namespace {

MonoFrameArray reduce(Dither method, const PixelGrid& source, int threshold = 127) {
    MonoFrameArray frame{};
    ditherFrame(method, source, threshold, frame);
    return frame;
}

}  // namespace

TEST(Dither, BayerIsTheStandardRecursiveMatrix) {
    // M(2n) = [[4M, 4M + 2], [4M + 3, 4M + 1]] from M(1) = [0], written out.
    const std::array<std::array<int, 8>, 8> standard = {{
        {0, 32, 8, 40, 2, 34, 10, 42},
        {48, 16, 56, 24, 50, 18, 58, 26},
        {12, 44, 4, 36, 14, 46, 6, 38},
        {60, 28, 52, 20, 62, 30, 54, 22},
        {3, 35, 11, 43, 1, 33, 9, 41},
        {51, 19, 59, 27, 49, 17, 57, 25},
        {15, 47, 7, 39, 13, 45, 5, 37},
        {63, 31, 55, 23, 61, 29, 53, 21},
    }};
    std::array<std::array<int, 8>, 8> index{}, shifted{};
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            index[r][c] = (bayerThreshold(c, r) - 2) / 4;
            shifted[r][c] = (bayerThreshold(c + 8, r + 56) - 2) / 4;  // fixed on the frame
            EXPECT_EQ(bayerThreshold(c, r) % 4, 2);
        }
    }
    EXPECT_EQ(index, standard);
    EXPECT_EQ(shifted, standard);
}

TEST(Dither, FloydSteinbergLeavesOneLevelNoiseNearBlackOrWhiteAlone) {
    // Grey waves under a band of 12 flat rows, level 1 on the left half and
    // 253 on the right. Raising pixels of the band by one level changes no
    // output pixel: their error stays within -2..2, whose shares of 7, 3, 5
    // and 1 sixteenths, rounded toward zero, are nothing, so it goes no
    // further. Carried on as fractions, or rounded to the nearest, it would
    // travel down into the waves and move their dots.
    struct Area {
        int column, row, width, height;
    };
    const auto picture = [](const std::vector<Area>& raised) {
        return makeGrid(129, 65, [&](int x, int y) {
            const int c = x, r = 63 - y;
            int v = r < 12 ? (c < 64 ? 1 : 253)
                           : static_cast<int>(128 + 90 * std::sin(c / 4.0) * std::cos(r / 3.0) +
                                              30 * std::sin((c + r) / 9.0));
            for (const Area& a : raised) {
                v += c >= a.column && c < a.column + a.width && r >= a.row && r < a.row + a.height;
            }
            const auto g = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
            return Bgrx{g, g, g, 0};
        });
    };
    const struct {
        const char* what;
        std::vector<Area> raised;
    } cases[] = {
        {"one pixel on the left", {{20, 5, 1, 1}}},
        {"one on the right, over the waves", {{100, 11, 1, 1}}},
        {"one on each side", {{63, 0, 1, 1}, {64, 11, 1, 1}}},
        {"every one", {{0, 0, 128, 12}}},
    };
    const MonoFrameArray still = reduce(Dither::FloydSteinberg, picture({}));
    for (const auto& c : cases) {
        const MonoFrameArray noisy = reduce(Dither::FloydSteinberg, picture(c.raised));
        int changed = 0;
        for (std::size_t i = 0; i < noisy.size(); ++i) changed += noisy[i] != still[i];
        EXPECT_EQ(changed, 0) << c.what;
    }
}
