// A small animated-GIF writer for frames of palette indices.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

class GifWriter {
  public:
    // Two colours as 0xRRGGBB (index 0 and 1); `delayCs` is each frame's time
    // in hundredths of a second; the animation loops forever.
    GifWriter(int width, int height, std::array<std::uint32_t, 2> colours, int delayCs);

    // One frame of width x height indices (0 or 1), top row first.
    void addFrame(const std::vector<std::uint8_t>& indices);

    // The whole file.
    std::string finish();

  private:
    void put16(int v);
    std::string bytes_;
    int width_, height_, delayCs_;
};

}  // namespace orv
