#include "lcd/mono.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/random.h"
#include "test_support.h"

using namespace orv;
using namespace orv::test;

namespace {

constexpr std::int32_t kSentinel = -7;

struct Engraved {
    PixelGrid dest;
    MonoFrameArray frame;
    std::int32_t count = -1;
};

// Engraves `source` from the start of the sequence, with sentinel entries.
Engraved engrave(const PixelGrid& source, std::uint64_t seed = 0) {
    Engraved run;
    run.frame.fill(kSentinel);
    rnd::Sequence random(seed);
    auto r =
        Pencil(source, run.dest, source.width(), source.height(), 32, run.frame, run.count, random);
    EXPECT_TRUE(r.ok());
    return run;
}

// The rule written out plainly, one pixel at a time, for any size.
Engraved reference(const PixelGrid& source, std::uint64_t seed = 0) {
    Engraved run;
    run.frame.fill(kSentinel);
    (void)run.dest.dimension(4, source.width(), source.height());
    rnd::Sequence random(seed);
    run.count = 0;
    for (int x = 0; x <= source.width() - 2; ++x) {
        for (int y = 0; y <= source.height() - 2; ++y) {
            const int L = (3 * source(0, x, y) + 6 * source(1, x, y) + source(2, x, y)) / 10;
            const double u = random.next();
            const bool light = L > 180 || u * L > 90;
            run.frame[static_cast<std::size_t>(std::min(run.count, 8191))] = light ? 65535 : 0;
            if (run.count < 8192) ++run.count;
            for (int c = 0; c < 3; ++c) run.dest(c, x, y) = light ? 255 : 0;
        }
    }
    return run;
}

}  // namespace

TEST(Pencil, DitherFollowsTheRuleWithOneDrawPerPixel) {
    // Pixel by pixel against the plain rule: on white (light but for the last
    // column and top row, the entries past 8192 untouched), on a picture of
    // every level, and on a larger one that keeps overwriting the last entry.
    const PixelGrid white = uniformGrid(129, 65, {255, 255, 255, 255});
    const PixelGrid ramp = makeGrid(129, 65, [](int x, int y) {
        return Bgrx{std::uint8_t(x * 2), std::uint8_t((x + y) % 256), std::uint8_t(y * 4), 9};
    });
    const PixelGrid large = makeGrid(200, 100, [](int x, int y) {
        const std::uint8_t v = std::uint8_t((x * 7 + y * 13) % 256);
        return Bgrx{v, v, v, 0};
    });
    for (auto [picture, seed] : {std::pair{&white, 0}, {&ramp, 42}, {&large, 3}}) {
        Engraved fast = engrave(*picture, std::uint64_t(seed));
        Engraved plain = reference(*picture, std::uint64_t(seed));
        EXPECT_EQ(fast.count, 8192);
        EXPECT_EQ(fast.frame, plain.frame);
        EXPECT_EQ(fast.dest, plain.dest);
    }
}

TEST(Pencil, TinyAndShortSources) {
    Engraved tiny = engrave(uniformGrid(1, 1, {255, 255, 255, 0}));
    EXPECT_EQ(tiny.count, 0);
    EXPECT_EQ(tiny.dest.width(), 1);
    EXPECT_EQ(tiny.frame[0], kSentinel);

    PixelGrid dest = uniformGrid(1, 1, {1, 1, 1, 1});
    const PixelGrid kept = dest;
    MonoFrameArray frame{};
    std::int32_t count = 77;
    PixelGrid small = uniformGrid(2, 2, {0, 0, 0, 0});
    rnd::Sequence random;
    EXPECT_FALSE(Pencil(small, dest, 129, 65, 32, frame, count, random).ok());
    EXPECT_EQ(dest, kept);
    EXPECT_EQ(count, 77);
}
