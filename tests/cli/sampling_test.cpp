// Which decoded frame each capture tick takes, from frame times alone.
#include "cli/sampling.h"

#include <gtest/gtest.h>

using orv::cli::sampleTicks;

TEST(Sampling, EachTickTakesTheLatestFrameNotAfterIt) {
    using Plan = std::vector<std::size_t>;
    const struct {
        const char* what;
        std::vector<double> times;
        double lastEnd, start, end;
        int fps;
        Plan plan;
    } cases[] = {
        // 25 fps frames at 10 ticks a second: tick k at k / 10 s.
        {"slower ticks", {0, 0.04, 0.08, 0.12, 0.16, 0.2, 0.24}, 0.28, 0, 1e9, 10, {0, 2, 5}},
        // A frame exactly at a tick's time is that tick's.
        {"frame on the tick", {0, 0.5, 1.0}, 1.5, 0, 1e9, 2, {0, 1, 2}},
        // Ticks faster than frames repeat a frame.
        {"faster ticks", {0, 1}, 2, 0, 1e9, 3, {0, 0, 0, 1, 1, 1}},
        // Ticks before the first frame show the first frame.
        {"late first frame", {0.3, 0.6}, 0.9, 0, 1e9, 10, {0, 0, 0, 0, 0, 0, 1, 1, 1}},
        // From the start on; frames before it are passed over.
        {"start", {0, 0.25, 0.5, 0.75, 1.0}, 1.25, 0.5, 1e9, 4, {2, 3, 4}},
        // The end cuts the plan, at the tick before it.
        {"end", {0, 0.25, 0.5, 0.75}, 1.0, 0, 0.6, 4, {0, 1, 2}},
        // The last frame shows until its own end, not beyond.
        {"last frame's end", {0, 0.1}, 0.15, 0, 1e9, 20, {0, 0, 1}},
        {"no frames", {}, 0, 0, 1e9, 31, {}},
    };
    // A frame on a tick takes it whichever way its time was rounded: 30 fps
    // frames at 10 ticks a second, timed as a transport stream times them
    // (90 kHz, from 1.4 s) and as an MP4 file does (1/15360 s).
    std::vector<double> transport, mp4;
    for (int k = 0; k < 30; ++k) {
        transport.push_back((126000 + 3000 * k) / 90000.0 - 1.4);
        mp4.push_back(512 * k / 15360.0);
    }
    const Plan everyThird{0, 3, 6, 9, 12, 15, 18, 21, 24, 27};
    for (const auto& [what, times] : {std::pair{"90 kHz", transport}, {"1/15360 s", mp4}}) {
        EXPECT_EQ(sampleTicks(times, 1, 0, 1e9, 10), everyThird) << what;
    }
    for (const auto& c : cases) {
        EXPECT_EQ(sampleTicks(c.times, c.lastEnd, c.start, c.end, c.fps), c.plan) << c.what;
    }
}

TEST(Sampling, TicksAreCountedNotAccumulated) {
    // 31 ticks a second for an hour of 25 fps frames: tick k at exactly k / 31
    // seconds, so tick 31 x 3600 - 1 still takes the frame just before the hour.
    std::vector<double> times;
    for (int i = 0; i < 25 * 3600; ++i) times.push_back(i / 25.0);
    const auto plan = sampleTicks(times, 3600, 0, 1e9, 31);
    ASSERT_EQ(plan.size(), 31u * 3600);
    for (std::size_t k : {std::size_t{0}, std::size_t{30}, std::size_t{31}, plan.size() - 1}) {
        EXPECT_EQ(plan[k], static_cast<std::size_t>(k * 25 / 31)) << k;
    }
}
