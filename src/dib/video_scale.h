// A video frame's Y'CbCr planes drawn at another size, as a video widget
// samples them: linear between the nearest source pixels, then converted to
// red, green and blue.
#pragma once

#include <cstdint>

#include "dib/transfer.h"

namespace orv {

// The planes of one frame: full-size luma, chroma at half the width and
// height (4:2:0), either as two planes (steps of 1) or interleaved in one
// (NV12: `cb` and `cr` one byte apart, steps of 2).
struct YuvPlanes {
    const std::uint8_t* y = nullptr;
    const std::uint8_t* cb = nullptr;
    const std::uint8_t* cr = nullptr;
    std::int64_t yStride = 0;       // bytes from one luma row to the next
    std::int64_t chromaStride = 0;  // bytes from one chroma row to the next
    int chromaStep = 1;             // bytes from one chroma sample to the next
    std::int32_t width = 0;         // luma pixels
    std::int32_t height = 0;
};

// How the frame's values map to colours.
enum class YuvMatrix {
    Bt601,      // standard definition, 16..235 luma (the default)
    Bt709,      // high definition, 16..235 luma
    Bt601Full,  // JPEG: 0..255 luma
};

// Fills the whole of `out` with the frame scaled to out's size (pixels
// B, G, R, 0xFF). Nothing is drawn from planes without pixels.
void scaleYuvToRgb(const YuvPlanes& frame, YuvMatrix matrix, const SurfaceView& out);

}  // namespace orv
