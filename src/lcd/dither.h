// Ways to reduce a picture to the one-bit frame: the LCD's 128 x 64, or a
// frame of another size, pixel by pixel by the same rules.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/pixel_grid.h"
#include "common/result.h"
#include "lcd/frame.h"
#include "lcd/frame_size.h"
#include "lcd/tone.h"

namespace orv {

enum class Dither {
    Engrave,         // the tool's own rule, with its random sequence
    Threshold,       // light when the luma is above T
    Bayer,           // 8 x 8 ordered matrix, fixed on the frame
    FloydSteinberg,  // error diffusion in whole numbers, row by row
    BlueNoise,       // 64 x 64 blue-noise threshold mask, tiled, fixed on the frame
};

Result<Dither> parseDither(const std::string& name);

// How a source picture becomes the one-bit frame: the method, its threshold,
// the tone curve on the luma before it and whether light and dark swap. The
// defaults are the tool's own engrave, unchanged.
struct Reduction {
    Dither method = Dither::Engrave;
    int threshold = 127;  // Dither::Threshold: light when the luma is above it
    bool invert = false;
    ToneControls tone;
};

// The two luma rules, each 0..255; a grey R = G = B = g gives g under both.
//
// Engrave's own rule, exactly as the tool records: (3B + 6G + R) \ 10.
inline int engraveLuminance(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    return (3 * b + 6 * g + r) / 10;
}

// ITU-R BT.601 luma for threshold, bayer, floyd-steinberg and blue-noise, in
// whole numbers: Y = (299 R + 587 G + 114 B + 500) \ 1000, that is 0.299 R +
// 0.587 G + 0.114 B rounded to the nearest whole number, exact halves up.
inline int luma601(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    return (299 * r + 587 * g + 114 * b + 500) / 1000;
}

// Puts the tone curve on the source picture's frame pixels in columns
// column .. column + width - 1, rows row .. row + height - 1 (clipped to the
// frame, of `frame`'s size): each becomes the grey tone(L), L its luma by
// `method`'s rule. A grey t has luma t by either rule, so the method then
// sees tone(L). With the identity curve nothing is read or written.
void applyTone(Dither method, const ToneCurve& tone, PixelGrid& picture, int column, int row,
               int width, int height, FrameSize frame = kLcdSize);

// Reduces a source picture of at least 128 x 64 pixels (as the workbench
// holds it: frame pixel (c, r) is grid (c, 63 - r)) into MonoFrame by a
// method of fixed thresholds or error diffusion, from luma601(). Engrave is
// Pencil() (lcd/mono.h), with its random sequence; here it changes nothing.
void ditherFrame(Dither method, const PixelGrid& source, int threshold, MonoFrameArray& MonoFrame);

// The same for a frame of `size` from a picture of at least its size (frame
// pixel (c, r) is grid (c, height - 1 - r)), into its entries as MonoFrame
// holds them (entry height x c + height - 1 - r). Each pixel comes out as at
// 128 x 64: the masks are fixed on the frame from its top-left corner.
void ditherFrame(Dither method, const PixelGrid& source, int threshold, FrameSize size,
                 std::span<std::int32_t> entries);

// Swaps light and dark in MonoFrame, or in a frame's entries.
void invertFrame(std::span<std::int32_t> entries);

// The threshold masks, for tests: values 0..255 at frame column c, row r.
int bayerThreshold(int c, int r);
int blueNoiseThreshold(int c, int r);

}  // namespace orv
