// Which decoded frame each capture tick takes, from frame times alone.
#include "cli/sampling.h"

#include <gtest/gtest.h>

using orv::cli::sampleTicks;

TEST(Sampling, EachTickTakesTheLastFrameCountedFromItOrBefore) {
    using Plan = std::vector<std::size_t>;
    const struct {
        const char* what;
        std::vector<double> times;
        double lastEnd, start, end;
        int fps;
        Plan plan;
    } cases[] = {
        // 25 fps frames at 10 ticks a second count from ticks 0 0 1 1 2 2 2.
        {"slower ticks", {0, 0.04, 0.08, 0.12, 0.16, 0.2, 0.24}, 0.28, 0, 1e9, 10, {1, 3, 6}},
        {"frame on the tick", {0, 0.5, 1.0}, 1.5, 0, 1e9, 2, {0, 1, 2}},
        {"faster ticks", {0, 1}, 2, 0, 1e9, 3, {0, 0, 0, 1, 1, 1}},
        // Half-way between two ticks counts from the later one; just before,
        // from the earlier.
        {"half-way", {0, 0.05}, 0.2, 0, 1e9, 10, {0, 1}},
        {"before half-way", {0, 0.0499}, 0.2, 0, 1e9, 10, {1, 1}},
        // Ticks before the first frame show the first frame.
        {"late first frame", {0.3, 0.6}, 0.9, 0, 1e9, 10, {0, 0, 0, 0, 0, 0, 1, 1, 1}},
        // From the start on; frames before it are passed over.
        {"start", {0, 0.25, 0.5, 0.75, 1.0}, 1.25, 0.5, 1e9, 4, {2, 3, 4}},
        // The end asked for cuts the plan at the tick before it.
        {"end", {0, 0.25, 0.5, 0.75}, 1.0, 0, 0.6, 4, {0, 1, 2}},
        // The clip's own end counts like a next frame: 0.15 s is tick 3.
        {"last frame's end", {0, 0.1}, 0.15, 0, 1e9, 20, {0, 0, 1}},
        {"end before half-way", {0, 0.1}, 0.124, 0, 1e9, 20, {0, 0}},
        {"no frames", {}, 0, 0, 1e9, 31, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sampleTicks(c.times, c.lastEnd, c.start, c.end, c.fps), c.plan) << c.what;
    }
    // That every frame comes out once at a clip's own rate, whatever its
    // container's time base, is frame_choice_test's, on real clips.
}

TEST(Sampling, TicksAreCountedNotAccumulated) {
    // 31 ticks a second for an hour of 25 fps frames: tick k at exactly k / 31
    // seconds. Frame i counts from round(31 i / 25), never a tie, so tick k
    // takes frame (50 k + 24) \ 62 up to the last tick before the hour.
    std::vector<double> times;
    for (int i = 0; i < 25 * 3600; ++i) times.push_back(i / 25.0);
    const auto plan = sampleTicks(times, 3600, 0, 1e9, 31);
    ASSERT_EQ(plan.size(), 31u * 3600);
    for (std::size_t k : {std::size_t{0}, std::size_t{1}, std::size_t{31}, plan.size() - 1}) {
        EXPECT_EQ(plan[k], (50 * k + 24) / 62) << k;
    }
}
