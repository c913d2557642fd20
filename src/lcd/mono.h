// Engrave: the one-bit reduction of a picture to the LCD's 128 x 64 frame.
#pragma once

#include <cstdint>
#include <span>

#include "common/pixel_grid.h"
#include "common/random.h"
#include "common/result.h"
#include "lcd/frame.h"

namespace orv {

// Visits pixels column by column from the left (x = 0 .. width - 2), each
// column from the bottom row up (y = 0 .. height - 2). Luminance
// L = (3B + 6G + R) \ 10; with u the next value of `random` (drawn for every
// pixel) the pixel is light when L > 180 or
// u x L > 90. Light pixels become MonoLight in MonoFrame and white in
// `dest`, dark ones 0 and black. The pixels fill the entries from 0 on and
// stop at 8191, later pixels overwriting entry 8191; MonoCount counts the
// entries written (8192 at most). `dest` gets the source's size,
// its last column and top row black. A refused call (a source with fewer
// than width x height pixels, a size that cannot be held) leaves `dest`,
// MonoFrame, MonoCount and `random` as they were.
Result<std::int32_t> Pencil(const PixelGrid& source, PixelGrid& dest, std::int32_t width,
                            std::int32_t height, std::int32_t BitsPerPixel,
                            MonoFrameArray& MonoFrame, std::int32_t& MonoCount,
                            rnd::Sequence& random);

// The same into `entries` of any number (at least 1) in place of MonoFrame's
// 8192: the last one takes the pixels past the end. A frame of another size
// than 128 x 64 is engraved from a picture one column and one row larger.
Result<std::int32_t> Pencil(const PixelGrid& source, PixelGrid& dest, std::int32_t width,
                            std::int32_t height, std::int32_t BitsPerPixel,
                            std::span<std::int32_t> entries, std::int32_t& MonoCount,
                            rnd::Sequence& random);

}  // namespace orv
