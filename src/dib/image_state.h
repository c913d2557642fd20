// The workbench's image state: the two pixel grids with their sizes, and the
// one-bit frame of the last engrave. One instance lives for the whole run of
// the tool (made by main()); the command line makes its own.
#pragma once

#include <cstdint>

#include "common/pixel_grid.h"
#include "lcd/frame.h"

namespace orv {

struct ImageState {
    PixelGrid SourceGrid;            // source picture as last read by GetData
    std::int32_t SourceWidth = 0;    // width of SourceGrid in pixels
    std::int32_t SourceHeight = 0;   // height of SourceGrid in pixels
    PixelGrid PurposeGrid;           // result of the last image operation
    std::int32_t PurposeWidth = 0;   // width DrawPic shows PurposeGrid with
    std::int32_t PurposeHeight = 0;  // height DrawPic shows PurposeGrid with
    MonoFrameArray MonoFrame{};      // one-bit frame of the last engrave
    std::int32_t MonoCount = 0;      // how many MonoFrame entries the last engrave wrote
};

}  // namespace orv
