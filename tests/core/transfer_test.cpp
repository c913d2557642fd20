#include "dib/transfer.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"

using namespace orv;
using namespace orv::test;

namespace {

// A top-down 32-bit surface where pixel (col, row-from-top) has the bytes
// B = col, G = row, R = col + row, fourth = 7.
struct Surface {
    std::int32_t width, height;
    std::vector<std::uint8_t> bits;
    Surface(std::int32_t w, std::int32_t h) : width(w), height(h), bits(std::size_t(w) * h * 4) {
        for (int row = 0; row < h; ++row) {
            for (int col = 0; col < w; ++col) {
                std::uint8_t* p = &bits[(std::size_t(row) * w + col) * 4];
                p[0] = std::uint8_t(col);
                p[1] = std::uint8_t(row);
                p[2] = std::uint8_t(col + row);
                p[3] = 7;
            }
        }
    }
    SurfaceView view() { return {bits.data(), width, height, std::int64_t(width) * 4}; }
    const std::uint8_t* at(int col, int rowFromTop) const {
        return &bits[(std::size_t(rowFromTop) * width + col) * 4];
    }
};

}  // namespace

TEST(PixelGrid, StorageIsABottomUpDib) {
    PixelGrid g;
    EXPECT_TRUE(g.empty());
    EXPECT_FALSE(g.inBounds(0, 0, 0));
    ASSERT_TRUE(g.dimension(4, 3, 2).ok());
    EXPECT_EQ(g.byteCount(), 24u);
    for (std::size_t i = 0; i < g.byteCount(); ++i) EXPECT_EQ(g.data()[i], 0);
    g(2, 1, 1) = 9;  // offset (1 * 3 + 1) * 4 + 2
    EXPECT_EQ(g.data()[18], 9);
    // Dimensioning again discards the contents.
    ASSERT_TRUE(g.dimension(4, 3, 2).ok());
    EXPECT_EQ(g.data()[18], 0);
}

TEST(PixelGrid, RefusesSizesABitmapCannotHold) {
    PixelGrid g;
    ASSERT_TRUE(g.dimension(4, 2, 2).ok());
    g(0, 0, 0) = 5;
    for (auto [w, h] : {std::pair{-1, 5}, {5, -1}, {65536, 8192}, {2147483647, 2}}) {
        EXPECT_FALSE(g.dimension(4, w, h).ok()) << w << " x " << h;
    }
    EXPECT_EQ(g.width(), 2);  // untouched by the refusals
    EXPECT_EQ(g(0, 0, 0), 5);
    EXPECT_TRUE(g.dimension(4, 0, 0).ok());
    EXPECT_FALSE(g.empty());
}

TEST(Transfer, GetDataReadsBottomRowAsRowZero) {
    Surface s(129, 65);
    PixelGrid grid;
    ASSERT_TRUE(GetData(s.view(), 0, 0, 128, 64, grid, 32).ok());
    ASSERT_EQ(grid.width(), 129);
    ASSERT_EQ(grid.height(), 65);
    EXPECT_EQ(grid(2, 0, 0), s.at(0, 64)[2]);      // red byte of the bottom-left pixel
    EXPECT_EQ(grid(0, 128, 64), s.at(128, 0)[0]);  // blue byte of the top-right pixel
    for (int y = 0; y < 65; ++y) {
        for (int x = 0; x < 129; ++x) {
            for (int c = 0; c < 4; ++c) ASSERT_EQ(grid(c, x, y), s.at(x, 64 - y)[c]);
        }
    }
}

TEST(Transfer, OnlyTheExtentsOfTheCornersCount) {
    Surface s(40, 30);
    PixelGrid a, b;
    ASSERT_TRUE(GetData(s.view(), 5, 7, 14, 16, a, 32).ok());
    ASSERT_TRUE(GetData(s.view(), 0, 0, 9, 9, b, 32).ok());
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.width(), 10);
    EXPECT_EQ(a(1, 0, 0), 29);  // scan line 0 is the bottom row
}

TEST(Transfer, ReadAndDrawBackLeavesThePictureUnchanged) {
    Surface s(17, 9);
    const std::vector<std::uint8_t> before = s.bits;
    PixelGrid grid;
    ASSERT_TRUE(GetData(s.view(), 0, 0, 16, 8, grid, 32).ok());
    std::fill(s.bits.begin(), s.bits.end(), 0);
    ASSERT_TRUE(DrawPic(s.view(), 9, 17, grid, 32).ok());
    EXPECT_EQ(s.bits, before);
}

TEST(Transfer, SmallerGridsLandFromScanLineZero) {
    Surface s(6, 5);
    std::fill(s.bits.begin(), s.bits.end(), 0);
    PixelGrid grid = uniformGrid(3, 2, {1, 2, 3, 4});
    ASSERT_TRUE(DrawPic(s.view(), 2, 3, grid, 32).ok());
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 6; ++col) {
            const bool covered = col < 3 && row >= 3;  // bottom-left 3 x 2
            EXPECT_EQ(s.at(col, row)[0], covered ? 1 : 0) << col << "," << row;
        }
    }
    // A grid larger than the surface is clipped to it.
    PixelGrid big = uniformGrid(10, 10, {9, 9, 9, 9});
    ASSERT_TRUE(DrawPic(s.view(), 10, 10, big, 32).ok());
    EXPECT_EQ(s.at(5, 0)[0], 9);
}

TEST(Transfer, RefusalsLeaveEverythingAsItWas) {
    Surface s(4, 4);
    const std::vector<std::uint8_t> before = s.bits;
    PixelGrid empty;
    EXPECT_FALSE(DrawPic(s.view(), 4, 4, empty, 32).ok());  // draw before any operation
    PixelGrid small = uniformGrid(2, 2, {1, 1, 1, 1});
    EXPECT_FALSE(DrawPic(s.view(), 4, 4, small, 32).ok());
    EXPECT_FALSE(DrawPic(s.view(), 2, 2, small, 24).ok());
    EXPECT_EQ(s.bits, before);

    PixelGrid result = uniformGrid(1, 1, {5, 5, 5, 5});
    const PixelGrid kept = result;
    EXPECT_FALSE(CopyData(small, result, 3, 3, 32).ok());
    EXPECT_FALSE(GetData(s.view(), 0, 0, -5, 3, result, 32).ok());
    EXPECT_EQ(result, kept);
}

TEST(Transfer, CopyDataKeepsEveryByte) {
    PixelGrid source = makeGrid(129, 65, [](int x, int y) {
        return Bgrx{std::uint8_t(x), std::uint8_t(y), std::uint8_t(x ^ y), std::uint8_t(x + y)};
    });
    PixelGrid result;
    ASSERT_TRUE(CopyData(source, result, 129, 65, 32).ok());
    EXPECT_EQ(result, source);
}

TEST(Transfer, ReportsTheDifferenceOfTwoClockReadings) {
    PixelGrid source = uniformGrid(2, 2, {1, 2, 3, 4}), result;
    SteppingClock fast(1000, 0);  // faster than the clock's resolution
    {
        ScopedClock use(fast);
        EXPECT_EQ(CopyData(source, result, 2, 2, 32).value(), 0);
    }
    SteppingClock slow(4000000000LL, 16);
    ScopedClock use(slow);
    EXPECT_EQ(CopyData(source, result, 2, 2, 32).value(), 16);
}
