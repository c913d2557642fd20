// Ways to reduce a picture to the 128 x 64 one-bit frame.
#pragma once

#include <cstdint>
#include <string>

#include "common/pixel_grid.h"
#include "common/random.h"
#include "common/result.h"
#include "lcd/frame.h"

namespace orv {

enum class Dither {
    Engrave,         // the tool's own rule, with its random sequence
    Threshold,       // light when L > T
    Bayer,           // 8 x 8 ordered matrix, fixed on the frame
    FloydSteinberg,  // serpentine error diffusion
    BlueNoise,       // 64 x 64 blue-noise threshold mask, tiled, fixed on the frame
};

Result<Dither> parseDither(const std::string& name);

// The frame's luminance rule, the same for every method: (3B + 6G + R) \ 10.
inline int luminance(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    return (3 * b + 6 * g + r) / 10;
}

// Reduces a 129 x 65 source picture (as the workbench holds it: frame pixel
// (c, r) is grid (c, 63 - r)) into MonoFrame. `scratch` receives engrave's
// result picture and `random` its dither. `invert` swaps light and dark.
void reduceFrame(Dither method, const PixelGrid& source, int threshold, bool invert,
                 MonoFrameArray& MonoFrame, PixelGrid& scratch, rnd::Sequence& random);

// The threshold masks, for tests: values 0..255 at frame column c, row r.
int bayerThreshold(int c, int r);
int blueNoiseThreshold(int c, int r);

}  // namespace orv
