#include "dib/transfer.h"

#include <gtest/gtest.h>

#include <array>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "common/random.h"
#include "dib/img_deal.h"
#include "lcd/mono.h"
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
        for (std::size_t i = 0; i < bits.size(); ++i) {
            const int col = int(i / 4) % w, row = int(i / 4) / w;
            bits[i] = std::uint8_t(std::array{col, row, col + row, 7}[i % 4]);
        }
    }
    SurfaceView view() { return {bits.data(), width, height, std::int64_t(width) * 4}; }
    const std::uint8_t* at(int col, int rowFromTop) const {
        return &bits[(std::size_t(rowFromTop) * width + col) * 4];
    }
};

}  // namespace

TEST(PixelGrid, RefusesSizesABitmapCannotHold) {
    PixelGrid g;
    ASSERT_TRUE(g.dimension(4, 2, 2).ok());
    g(0, 0, 0) = 5;
    for (auto [w, h] : {std::pair{-1, 5}, {65536, 8192}}) {
        EXPECT_FALSE(g.dimension(4, w, h).ok()) << w << " x " << h;
    }
    {
        AllocationCap cap(1000);
        Status refused = g.dimension(4, 100, 100);
        ASSERT_FALSE(refused.ok());
        EXPECT_NE(refused.error().find("memory for a picture of 100 x 100 pixels (40000 bytes)"),
                  std::string::npos)
            << refused.error();
        EXPECT_TRUE(g.dimension(4, 1, 3).ok());  // fits the buffer it has
        ASSERT_TRUE(g.dimension(4, 2, 2).ok());
        g(0, 0, 0) = 5;
    }
    EXPECT_EQ(g.width(), 2);  // untouched by the refusals
    EXPECT_EQ(g(0, 0, 0), 5);
    EXPECT_TRUE(g.dimension(4, 0, 0).ok());
    EXPECT_FALSE(g.empty());
}

TEST(Transfer, GetDataReadsBottomRowAsRowZeroAndDrawPicPutsItBack) {
    Surface s(129, 65);
    const std::vector<std::uint8_t> before = s.bits;
    PixelGrid grid;
    ASSERT_TRUE(GetData(s.view(), 0, 0, 128, 64, grid, 32).ok());
    ASSERT_EQ(grid.width(), 129);
    ASSERT_EQ(grid.height(), 65);
    for (int y = 0; y < 65; ++y) {
        for (int x = 0; x < 129; ++x) {
            for (int c = 0; c < 4; ++c) ASSERT_EQ(grid(c, x, y), s.at(x, 64 - y)[c]);
        }
    }
    std::fill(s.bits.begin(), s.bits.end(), 0);
    ASSERT_TRUE(DrawPic(s.view(), 65, 129, grid, 32).ok());
    EXPECT_EQ(s.bits, before);
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

TEST(Transfer, ReportsTheDifferenceOfTwoClockReadings) {
    // A clock that advances by `step` milliseconds at every reading.
    struct Stepping final : MillisecondClock {
        mutable std::int64_t now, step;
        Stepping(std::int64_t start, std::int64_t by) : now(start), step(by) {}
        std::int64_t nowMs() const override { return std::exchange(now, now + step); }
    };
    PixelGrid source = uniformGrid(2, 2, {1, 2, 3, 4}), result;
    // Faster than the clock's resolution, and far into its range.
    for (const Stepping& clock : {Stepping(1000, 0), Stepping(4000000000LL, 16)}) {
        setProcessClock(&clock);
        EXPECT_EQ(CopyData(source, result, 2, 2, 32).value(), clock.step);
        setProcessClock(nullptr);
    }
}

// Every procedure takes the memory of its result and working lists before it
// writes anything, and refuses, naming the size, when it cannot have it. Each
// case runs on a thread of its own, so that no working list is left over from
// an earlier call.
TEST(Procedures, RefuseAPictureThereIsNoMemoryFor) {
    const PixelGrid source = makeGrid(300, 200, [](int x, int y) {
        return Bgrx{std::uint8_t(x), std::uint8_t(y), std::uint8_t(x + y), 0};
    });
    Surface surface(300, 200);
    PixelGrid result;
    MonoFrameArray frame{};
    std::int32_t count = 5;
    std::optional<rnd::Sequence> random;
    const auto engrave = [&] {
        return Pencil(source, result, 300, 200, 32, frame, count, *random);
    };
    const struct {
        const char* name;
        int resultW, resultH;  // of the result grid before the call
        std::function<Result<std::int32_t>()> run;
        const char* says;
    } cases[] = {
        {"copy", 3, 3, [&] { return CopyData(source, result, 300, 200, 32); }, "300 x 200"},
        {"read", 3, 3, [&] { return GetData(surface.view(), 0, 0, 299, 199, result, 32); },
         "300 x 200"},
        {"equalize", 3, 3, [&] { return StatChart(source, result, 300, 200, 32); }, "300 x 200"},
        {"brightness", 3, 3, [&] { return Bright(source, result, 300, 200, 1, 2, 3, 1, 1, 1, 32); },
         "300 x 200"},
        {"sharpen", 3, 3, [&] { return Sharp(source, result, 300, 200, 8, 32); }, "300 x 200"},
        {"engrave", 3, 3, engrave, "300 x 200"},
        // The result fits the grid's buffer; the working lists do not fit.
        {"engrave into a grid of that size", 300, 200, engrave, "engrave a picture of 300 x 200"},
        // The vertical pass's grid (300 x 1000) and the result (20000 x 2).
        {"zoom, vertical pass", 3, 3, [&] { return Zoom(source, result, 300, 200, 2, 1000, 32); },
         "300 x 1000"},
        {"zoom, result", 3, 3, [&] { return Zoom(source, result, 300, 200, 20000, 2, 32); },
         "20000 x 2"},
    };
    for (const auto& c : cases) {
        result = uniformGrid(c.resultW, c.resultH, {1, 2, 3, 4});
        const PixelGrid kept = result;
        frame[0] = 77;
        count = 5;
        random.emplace(9);
        std::optional<Result<std::int32_t>> outcome;
        std::thread([&] {
            AllocationCap cap(100000);  // below every picture and list above
            try {
                outcome.emplace(c.run());
            } catch (const std::bad_alloc&) {
            }
        }).join();
        ASSERT_TRUE(outcome.has_value()) << c.name << ": std::bad_alloc escaped";
        ASSERT_FALSE(outcome->ok()) << c.name;
        EXPECT_NE(outcome->error().find(c.says), std::string::npos) << outcome->error();
        EXPECT_EQ(result, kept) << c.name;
        EXPECT_EQ(frame[0], 77) << c.name;
        EXPECT_EQ(count, 5) << c.name;
        EXPECT_EQ(random->next(), rnd::Sequence(9).next()) << c.name;
    }
}
