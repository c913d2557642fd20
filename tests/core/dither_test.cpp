// The dithers' own rules. That Floyd-Steinberg's error shares are whole
// numbers rounded toward zero and kept within 0..255 is sizes-vs-ffmpeg.sh's:
// its pixels are those of ffmpeg's paletteuse at every size.
#include "lcd/dither.h"

#include <gtest/gtest.h>

#include <array>

using namespace orv;

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
