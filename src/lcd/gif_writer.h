// A small animated-GIF writer for frames of palette indices, written frame by
// frame through a sink so that memory stays bounded however long the animation.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace orv {

// The delay in hundredths of a second of frame k (counted from 0) of an
// animation at `fps` frames per second, so that frame k starts at
// round(100 * k / fps), halves to even. The delays add up instead of each being
// rounded alone: 31 frames at 31 fps last exactly 100, not 93 or 124. Exact in
// integers for every k. An fps below 1 is taken as 1.
//
// Each delay is 100 / fps rounded down or up. Players take a delay of 0 or 1
// as "too fast" and slow it down; up to 50 fps (the tool offers 1 .. 46) the
// smallest delay is 2, since round(x + 2) is round(x) + 2 when halves go to
// even, and round(x + 100 / fps) is no less.
int gifFrameDelayCs(std::uint64_t k, int fps);

class GifWriter {
  public:
    // Receives the file piece by piece, in order; fails when it could not
    // take them.
    using Sink = std::function<Status(std::string_view)>;

    // Two colours as 0xRRGGBB (index 0 and 1); the animation loops forever.
    // Nothing is written until the first addFrame() or finish().
    GifWriter(Sink sink, int width, int height, std::array<std::uint32_t, 2> colours);

    // One frame of width x height indices (0 or 1), top row first, shown for
    // `delayCs` hundredths of a second (0 .. 65535). Bad input fails without
    // writing anything. Once the sink has refused data, or after finish(),
    // every call fails and nothing more is written.
    Status addFrame(const std::vector<std::uint8_t>& indices, int delayCs);

    // The end of the file.
    Status finish();

  private:
    Status usable() const;  // fails once the sink refused, after finish(), or for a bad size
    Status start();         // the header, before the first frame or the trailer
    Status write(std::string_view bytes);

    Sink sink_;
    int width_, height_;
    std::array<std::uint32_t, 2> colours_;
    bool started_ = false, finished_ = false;
    std::string failure_;  // why the sink stopped taking data; empty while it takes it
    std::string frame_;    // one frame's bytes, reused
    // LZW table kept between frames: next_[code][index] is the code for code's
    // string followed by index, 0 for none. Left all 0 after every frame.
    std::vector<std::array<std::uint16_t, 2>> next_;
};

}  // namespace orv
