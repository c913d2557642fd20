// A video frame's planes drawn at another size: colours by hand from the
// BT.601 and BT.709 rules, and the linear sampling of a step.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "dib/video_scale.h"

namespace orv {
namespace {

struct Case {
    YuvMatrix matrix;
    int y, cb, cr;
    std::array<int, 3> rgb;  // expected red, green, blue
};

// One colour over a 4 x 4 frame (2 x 2 chroma), drawn at 3 x 2.
std::array<int, 3> drawn(const Case& c) {
    std::vector<std::uint8_t> y(16, static_cast<std::uint8_t>(c.y));
    std::vector<std::uint8_t> cb(4, static_cast<std::uint8_t>(c.cb));
    std::vector<std::uint8_t> cr(4, static_cast<std::uint8_t>(c.cr));
    std::vector<std::uint8_t> out(3 * 2 * 4);
    scaleYuvToRgb({y.data(), cb.data(), cr.data(), 4, 2, 1, 4, 4}, c.matrix,
                  {out.data(), 3, 2, 12});
    return {out[22], out[21], out[20]};  // the last pixel: B, G, R in memory
}

TEST(VideoScale, ColoursFollowTheMatrix) {
    const Case cases[] = {
        {YuvMatrix::Bt601, 235, 128, 128, {255, 255, 255}},
        {YuvMatrix::Bt601, 81, 90, 240, {255, 0, 0}},   // red
        {YuvMatrix::Bt709, 63, 102, 240, {255, 0, 0}},  // red
        {YuvMatrix::Bt601Full, 128, 128, 128, {128, 128, 128}},
    };
    for (const Case& c : cases) {
        const std::array<int, 3> got = drawn(c);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], c.rgb[i], 2) << c.y << " " << i;
    }
}

// Black then white, two pixels drawn over four: centres at -1/4, 1/4, 3/4
// and 5/4 of the source, clamped at its edges.
TEST(VideoScale, SamplesLinearlyBetweenCentres) {
    const std::uint8_t y[] = {16, 235}, chroma[] = {128};
    std::vector<std::uint8_t> out(4 * 4);
    scaleYuvToRgb({y, chroma, chroma, 2, 1, 1, 2, 1}, YuvMatrix::Bt601, {out.data(), 4, 1, 16});
    const int expected[] = {0, 64, 191, 255};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(out[4 * x + 1], expected[x]) << x;
}

}  // namespace
}  // namespace orv
