#include "common/random.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orv;

TEST(Random, FixedStartUniformInUnitInterval) {
    rnd::setSeed(rnd::kDefaultSeed);
    std::vector<float> a(100000);
    for (float& v : a) v = rnd::next();
    rnd::setSeed(rnd::kDefaultSeed);
    std::vector<float> b(a.size());
    rnd::fill(b.data(), b.size());
    EXPECT_EQ(a, b);  // bulk and single draws give one sequence

    int buckets[10] = {};
    for (float v : a) {
        ASSERT_GE(v, 0.0f);
        ASSERT_LT(v, 1.0f);
        ++buckets[int(v * 10)];
    }
    for (int n : buckets) EXPECT_NEAR(n, 10000, 500);

    rnd::setSeed(1);
    EXPECT_NE(rnd::next(), a[0]);
    // fill continues where next() left off.
    rnd::setSeed(7);
    rnd::next();
    float rest[3];
    rnd::fill(rest, 3);
    rnd::setSeed(7);
    float all[4];
    rnd::fill(all, 4);
    EXPECT_EQ(rest[0], all[1]);
    EXPECT_EQ(rest[2], all[3]);
}

TEST(Random, StepsAreTheValuesTimesTwoToThe24) {
    for (std::size_t skip : {0, 3, 8, 13}) {
        rnd::setSeed(99);
        for (std::size_t i = 0; i < skip; ++i) rnd::next();
        std::vector<std::uint32_t> steps(37);
        rnd::fillSteps(steps.data(), steps.size());
        const float after = rnd::next();
        rnd::setSeed(99);
        for (std::size_t i = 0; i < skip; ++i) rnd::next();
        for (std::uint32_t k : steps) ASSERT_EQ(static_cast<float>(k) * rnd::kStep, rnd::next());
        EXPECT_EQ(rnd::next(), after);
    }
}
