// The process-wide state of the workbench's image procedures: the two pixel
// grids with their sizes, and the one-bit frame of the last engrave.
#pragma once

#include <array>
#include <cstdint>

#include "dib/pixel_grid.h"

namespace orv {

// One-bit frame: entries 1..8192 hold 128 x 64 pixels column by column, each
// column from the bottom row up; entry 0 and 8193..9192 are never written.
using MonoFrameArray = std::array<std::int32_t, 9193>;

// Entry value of a light frame pixel (also the colour yellow); dark is 0.
inline constexpr std::int32_t MonoLight = 65535;

// Number of frame pixels, 128 x 64.
inline constexpr std::int32_t kMonoPixels = 8192;

struct ImageState {
    PixelGrid SourceGrid;            // source picture as last read by GetData
    std::int32_t SourceWidth = 0;    // width of SourceGrid in pixels
    std::int32_t SourceHeight = 0;   // height of SourceGrid in pixels
    PixelGrid PurposeGrid;           // result of the last image operation
    std::int32_t PurposeWidth = 0;   // width DrawPic shows PurposeGrid with
    std::int32_t PurposeHeight = 0;  // height DrawPic shows PurposeGrid with
    MonoFrameArray MonoFrame{};      // one-bit frame of the last engrave
    std::int32_t MonoCount = 0;      // number of the MonoFrame entry written last
};

// The one instance for the whole process (workbench and command line).
ImageState& imageState();

}  // namespace orv
