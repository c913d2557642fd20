#include "lcd/tone.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "lcd/dither.h"
#include "test_support.h"

using namespace orv;
using namespace orv::test;

TEST(Tone, EachControlOnAGreyRamp) {
    // Worked by hand: gamma, then contrast about 127.5, then brightness,
    // clamped and rounded half to even.
    constexpr std::array<int, 9> ramp = {0, 1, 64, 65, 127, 128, 191, 192, 255};
    const struct {
        ToneControls controls;  // brightness, contrast, gamma
        std::array<int, 9> want;
    } cases[] = {
        {{0, 1, 1}, ramp},
        {{40, 1, 1}, {40, 41, 104, 105, 167, 168, 231, 232, 255}},
        // 0.5 -> 0, 1.5 -> 2, 127.5 -> 128, 128.5 -> 128
        {{0.5, 1, 1}, {0, 2, 64, 66, 128, 128, 192, 192, 255}},
        // 2 L - 127.5: 64 -> 0.5 -> 0, 65 -> 2.5 -> 2, 191 -> 254.5 -> 254
        {{0, 2, 1}, {0, 0, 0, 2, 126, 128, 254, 255, 255}},
        // L / 2 + 63.75
        {{0, 0.5, 1}, {64, 64, 96, 96, 127, 128, 159, 160, 191}},
        // 255 x sqrt(L / 255): 1 -> 15.97, 64 -> 127.75, 128 -> 180.67
        {{0, 1, 2}, {0, 16, 128, 129, 180, 181, 221, 221, 255}},
        // L^2 / 255: 64 -> 16.06, 191 -> 143.06, 192 -> 144.56
        {{0, 1, 0.5}, {0, 0, 16, 17, 63, 64, 143, 145, 255}},
        // In order: 64 -> 127.75 -> 128 -> 118 (brightness first would give 108)
        {{-10, 2, 2}, {0, 0, 118, 120, 222, 224, 255, 255, 255}},
    };
    for (const auto& c : cases) {
        const ToneCurve tone(c.controls);
        std::array<int, 9> got{};
        for (std::size_t i = 0; i < ramp.size(); ++i) got[i] = tone(ramp[i]);
        EXPECT_EQ(got, c.want) << c.controls.brightness << " " << c.controls.contrast << " "
                               << c.controls.gamma;
        EXPECT_EQ(tone.identity(), c.want == ramp);
    }
    // Nonsense stays in range.
    EXPECT_EQ(ToneCurve({0, std::nan(""), 1})(200), 0);
    EXPECT_EQ(ToneCurve({0, 1, 0})(200), 0);
    // What it does to a pixel is the frame pipeline's test; areas past the
    // frame or picture are cut.
    PixelGrid small = uniformGrid(20, 10, {9, 9, 9, 0});
    applyTone(Dither::Bayer, ToneCurve({40, 1, 1}), small, -5, -5, 1 << 30, 1 << 30);
    EXPECT_EQ(small(0, 19, 9), 49);
}
