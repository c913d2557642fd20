#include "dib/img_deal.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"

using namespace orv;
using namespace orv::test;

namespace {

// One source row of blue values (green and red follow), W x 2 so that the
// zoom has two rows to work with.
PixelGrid rowGrid(const std::vector<int>& blue) {
    return makeGrid(int(blue.size()), 2, [&](int x, int) {
        const auto v = std::uint8_t(blue[x]);
        return Bgrx{v, v, v, 200};
    });
}

std::vector<int> blueRow(const PixelGrid& g, int y) {
    std::vector<int> out;
    for (int x = 0; x < g.width(); ++x) out.push_back(g(0, x, y));
    return out;
}

// A 2 x 2 source grid: pixel (x, y) = p[y * 2 + x].
PixelGrid quad(Bgrx p00, Bgrx p10, Bgrx p01, Bgrx p11) {
    const Bgrx p[] = {p00, p10, p01, p11};
    return makeGrid(2, 2, [&](int x, int y) { return p[y * 2 + x]; });
}

}  // namespace

TEST(Zoom, HandWorkedRows) {
    const struct {
        std::vector<int> row;
        int newW;
        std::vector<int> want;
    } cases[] = {
        {{0, 50, 100, 150, 200}, 6, {0, 50, 100, 125, 150, 200}},
        {{0, 50, 100, 150, 200}, 4, {0, 50, 150, 200}},
        // Factor 3: the positions beyond the last span take the last sample.
        {{0, 90, 180}, 9, {0, 22, 45, 90, 112, 135, 180, 180, 180}},
        {{10, 20}, 2, {10, 20}},
        // Scale 31 / 14 as Single is 9287387 / 2^22. Six Single additions reach
        // 13931081 / 2^20; the seventh sum, 16252927.75 / 2^20, rounds to
        // 15.5 exactly (ulp 2^-20), so sample 7 lands on position 16 (half to
        // even). 7 x scale is 15.49999928 and would put it on 15. The inner
        // steps are 140 x Single(1/3) = 46.666668.
        // clang-format off
        {{0, 0, 0, 0, 0, 0, 0, 140, 0, 0, 0, 0, 0, 0}, 31,
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 47, 93, 140, 93,
          0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // clang-format on
        {{0, 255, 0, 255}, 1, {255}},
    };
    for (const auto& c : cases) {
        const int n = int(c.row.size());
        PixelGrid result;
        ASSERT_TRUE(Zoom(rowGrid(c.row), result, n, 2, c.newW, 2, 32).ok());
        ASSERT_EQ(result.width(), c.newW);
        EXPECT_EQ(blueRow(result, 0), c.want) << "to " << c.newW;
        EXPECT_EQ(blueRow(result, 1), c.want);
        // The vertical pass uses the same rule: the row read as a column.
        const PixelGrid column = makeGrid(2, n, [&](int, int y) {
            const auto v = std::uint8_t(c.row[y]);
            return Bgrx{v, v, v, 0};
        });
        ASSERT_TRUE(Zoom(column, result, 2, n, 2, c.newW, 32).ok());
        std::vector<int> got;
        for (int y = 0; y < c.newW; ++y) got.push_back(result(0, 1, y));
        EXPECT_EQ(got, c.want) << "down to " << c.newW;
    }
}

TEST(Zoom, RefusalsKeepTheResult) {
    PixelGrid result = uniformGrid(3, 3, {1, 2, 3, 4});
    const PixelGrid kept = result;
    PixelGrid source = uniformGrid(4, 4, {9, 9, 9, 9});
    EXPECT_FALSE(Zoom(uniformGrid(1, 5, {}), result, 1, 5, 2, 2, 32).ok());  // below 2 x 2
    EXPECT_FALSE(Zoom(source, result, 4, 4, 0, 4, 32).ok());
    EXPECT_FALSE(Zoom(source, result, 4, 4, 2000000000, 2000, 32).ok());  // too large
    EXPECT_EQ(result, kept);
    EXPECT_FALSE(zoomedSize(0.001, 129, "width").ok());  // rounds to 0
    EXPECT_FALSE(zoomedSize(1e300, 129, "width").ok());
}

// Zoom and sharpen address the source as (c, x, y) with the grid's own row
// length, so a grid with enough bytes but other dimensions is refused.
TEST(ZoomAndSharp, RefuseASourceThatDoesNotSpanTheSize) {
    const struct {
        int gridW, gridH;  // 0 x 0: a grid never dimensioned
        int W, H;
    } cases[] = {
        {10, 1, 2, 5},  // 40 bytes either way; row 4 would start at byte 160
        {5, 5, 6, 2},   // enough bytes, one column short
        {0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const PixelGrid source =
            c.gridW == 0 ? PixelGrid{} : uniformGrid(c.gridW, c.gridH, {7, 7, 7, 7});
        const PixelGrid sourceBefore = source;
        PixelGrid result = uniformGrid(3, 3, {1, 2, 3, 4});
        const PixelGrid kept = result;
        EXPECT_FALSE(Zoom(source, result, c.W, c.H, 4, 4, 32).ok()) << c.gridW << "x" << c.gridH;
        EXPECT_FALSE(Sharp(source, result, c.W, c.H, 8, 32).ok()) << c.gridW << "x" << c.gridH;
        EXPECT_EQ(result, kept);
        EXPECT_EQ(source, sourceBefore);
    }
}

TEST(Sharp, HandWorkedPixels) {
    const Bgrx n110{110, 110, 110, 0};
    const Bgrx n0{0, 0, 0, 0};
    const struct {
        float k;
        int P;
        Bgrx neighbour;
        int want;
    } cases[] = {
        {8, 120, n110, 200},                   // 1080 - 880
        {8, 90, n110, 0},                      // -70, clamped
        {8, 100, n0, 255},                     // 900, clamped
        {0.5f, 101, {101, 101, 101, 0}, 101},  // round(151.5) = 152, round(-50.500002) = -51
        {-1, 200, {10, 20, 30, 0}, 10},        // plain mean of the blue neighbours
    };
    for (const auto& c : cases) {
        const Bgrx p{std::uint8_t(c.P), std::uint8_t(c.P), std::uint8_t(c.P), 0};
        PixelGrid source = quad(p, c.neighbour, c.neighbour, c.neighbour);
        PixelGrid result;
        ASSERT_TRUE(Sharp(source, result, 2, 2, c.k, 32).ok());
        EXPECT_EQ(result(0, 0, 0), c.want) << "k " << c.k << " P " << c.P;
    }
}

TEST(Sharp, ChannelsAreIndependentAndHugeStrengthsAreRefused) {
    PixelGrid source = quad({50, 60, 70, 0}, {50, 60, 255, 0}, {50, 60, 0, 0}, {50, 60, 9, 0});
    PixelGrid result;
    ASSERT_TRUE(Sharp(source, result, 2, 2, 8, 32).ok());
    EXPECT_EQ(result(0, 0, 0), 50);
    EXPECT_EQ(result(1, 0, 0), 60);
    PixelGrid kept = result;
    // Refused exactly where a term would leave 32 bits: 255 (k + 1) past
    // 2147483647, or 765 (-k / 3) as a Single past it.
    for (float k : {1e20f, 8421504.0f, -8421505.0f}) {
        EXPECT_FALSE(Sharp(source, result, 2, 2, k, 32).ok()) << k;
        EXPECT_EQ(result, kept);
    }
    for (float k : {8421503.0f, -8421504.0f}) EXPECT_TRUE(Sharp(source, result, 2, 2, k, 32).ok());
}

TEST(StatChart, UniformPictures) {
    const struct {
        Bgrx pixel;
        Bgrx want;
    } cases[] = {
        {{0, 0, 255, 0}, {0, 0, 255, 0}},  // pure red, level 76, stays red
        // Level (3 x 100 + 6 x 50 + 200) \ 10 = 80: bytes below 80 map to 0.
        {{200, 50, 100, 0}, {255, 0, 255, 0}},
        // Level (3 x 200 + 6 x 60 + 10) \ 10 = 97 keeps green dark; red and blue
        // weighted the other way round would give level 59 and a light green.
        {{10, 60, 200, 0}, {0, 0, 255, 0}},
    };
    for (const auto& c : cases) {
        PixelGrid result;
        ASSERT_TRUE(StatChart(uniformGrid(7, 5, c.pixel), result, 7, 5, 32).ok());
        EXPECT_EQ(pixelAt(result, 3, 2), c.want) << int(c.pixel.b);
    }
}

TEST(StatChart, CumulativeShareRoundsHalfToEven) {
    // Greys 0, 64, 128, 255 once each: shares 1/4 .. 1; 0.5 x 255 = 127.5 -> 128.
    auto g = [](int v) { return Bgrx{std::uint8_t(v), std::uint8_t(v), std::uint8_t(v), 0}; };
    PixelGrid source = quad(g(0), g(64), g(128), g(255));
    PixelGrid result;
    ASSERT_TRUE(StatChart(source, result, 2, 2, 32).ok());
    EXPECT_EQ(result(0, 0, 0), 0);
    EXPECT_EQ(result(1, 1, 0), 128);
    EXPECT_EQ(result(2, 0, 1), 191);  // 0.75 x 255 = 191.25
    EXPECT_EQ(result(0, 1, 1), 255);

    PixelGrid kept = result;
    PixelGrid empty;
    (void)empty.dimension(4, 0, 0);
    EXPECT_FALSE(StatChart(empty, result, 0, 0, 32).ok());
    EXPECT_EQ(result, kept);
}

TEST(Bright, HandWorkedChannels) {
    const struct {
        int brightness;
        float contrast;
        int source;
        int want;
    } cases[] = {
        {-255, 1, 200, 0},   {10, 1, 250, 255}, {10, 1, 100, 110},
        {0, 2, 50, 0},       {0, 2, 100, 73},   {0, 1.5f, 100, 86},  // offset -63.5 rounds to -64
        {0, 0.5f, 101, 114},                                         // 50.5 + 64 = 114.5 -> 114
    };
    for (const auto& c : cases) {
        const auto s = std::uint8_t(c.source);
        PixelGrid result;
        // The channel under test is green; red and blue keep brightness 0.
        ASSERT_TRUE(Bright(uniformGrid(3, 2, {s, s, s, 9}), result, 3, 2, 0, c.brightness, 0, 1,
                           c.contrast, 1, 32)
                        .ok());
        EXPECT_EQ(result(1, 2, 1), c.want) << c.brightness << " " << c.contrast << " " << c.source;
        EXPECT_EQ(result(0, 2, 1), s);
        EXPECT_EQ(result(3, 2, 1), 0);
    }
}

TEST(Bright, EachChannelTakesItsOwnSettings) {
    // Red 50 x 0.5 + 64 = 89, green 100 + 5, blue 200 x 1.5 - 64 = 236.
    PixelGrid result;
    ASSERT_TRUE(
        Bright(uniformGrid(2, 2, {200, 100, 50, 5}), result, 2, 2, 0, 5, 0, 0.5f, 1, 1.5f, 32)
            .ok());
    EXPECT_EQ(pixelAt(result, 1, 1), (Bgrx{236, 105, 89, 0}));
    // Offsets beyond 16 bits, or a contrast that takes the offset there, are refused.
    result = uniformGrid(2, 2, {1, 2, 3, 4});
    const PixelGrid kept = result, source = uniformGrid(4, 3, {1, 2, 3, 4});
    EXPECT_FALSE(Bright(source, result, 4, 3, 40000, 0, 0, 1, 1, 1, 32).ok());
    EXPECT_FALSE(Bright(source, result, 4, 3, 0, 0, 0, 1, 1, 1000, 32).ok());  // -126873
    EXPECT_EQ(result, kept);
}
