// The workbench's image procedures on pixel grids. Each reads `source`,
// re-dimensions and fills `result` (which must be another grid), and returns
// its elapsed milliseconds. A refused call (a size there is no memory for
// included) returns a failure and leaves `result` exactly as it was.
#pragma once

#include <cstdint>

#include "common/pixel_grid.h"
#include "common/result.h"
#include "dib/transfer.h"  // CopyData

namespace orv {

// Histogram equalisation: counts the brightness levels (3R + 6G + B) \ 10 of
// width x height pixels and maps every colour byte through the cumulative
// share. Refuses a picture with no pixels.
Result<std::int32_t> StatChart(const PixelGrid& source, PixelGrid& result, std::int32_t width,
                               std::int32_t height, std::int32_t BitsPerPixel);

// Per-channel brightness and contrast about 127, clamped to 0..255. Refuses a
// channel whose offset brightness - (contrast - 1) x 127 leaves the 16-bit range.
Result<std::int32_t> Bright(const PixelGrid& source, PixelGrid& result, std::int32_t width,
                            std::int32_t height, std::int32_t redBrightness,
                            std::int32_t greenBrightness, std::int32_t blueBrightness,
                            float redContrast, float greenContrast, float blueContrast,
                            std::int32_t BitsPerPixel);

// Separable linear resize of a W x H picture to newW x newH, with incremental
// Single steps. Refuses a source grid that does not span W x H, a source below
// 2 x 2, a new size below 1 x 1, and a result or vertical pass (W x newH) too
// large to hold or with no memory for it.
Result<std::int32_t> Zoom(const PixelGrid& source, PixelGrid& result, std::int32_t W,
                          std::int32_t H, std::int32_t newW, std::int32_t newH,
                          std::int32_t BitsPerPixel);

// Pushes each pixel away from the mean of its right, upper and upper-right
// neighbours by strength k; the last column and row stay black. Refuses a
// source grid that does not span W x H, and a k so large that the working
// values would leave the 32-bit range.
Result<std::int32_t> Sharp(const PixelGrid& source, PixelGrid& result, std::int32_t W,
                           std::int32_t H, float k, std::int32_t BitsPerPixel);

// New size of one axis for a zoom factor: round(factor x size), refused when it
// leaves the 32-bit range or is below 1.
Result<std::int32_t> zoomedSize(double factor, std::int32_t size, const char* axis);

}  // namespace orv
