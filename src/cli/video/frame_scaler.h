// Scaling decoded frames to small BGRA pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/video/av_handles.h"

namespace orv::cli::video {

// Scales frames to BGRA pixels by area averaging, with one scaling context
// kept for as long as the frames' size and format and the wanted size stay.
class FrameScaler {
  public:
    // Scales `frame` to width x height BGRA pixels (top row first) into
    // `bgra`; false where the scaling cannot be done.
    bool scale(const AVFrame& frame, int width, int height, std::vector<std::uint8_t>& bgra);

  private:
    ScalerPtr context_;                 // the context of the last scaling, or none yet
    std::vector<std::uint8_t> padded_;  // the scaled rows, each with room to spill
};

}  // namespace orv::cli::video
