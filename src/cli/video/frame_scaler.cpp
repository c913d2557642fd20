#include "cli/video/frame_scaler.h"

#include <cstring>

namespace orv::cli::video {

namespace {

// Bytes swscale may write past a row's last pixel: its converters work in
// blocks of pixels, so a row of a width that is not a multiple of the block
// (72 pixels, say, from a frame of that very size) spills over its end.
constexpr int kRowSlack = 128;

}  // namespace

bool FrameScaler::scale(const AVFrame& frame, int width, int height,
                        std::vector<std::uint8_t>& bgra) {
    // Frees the context it is given where that cannot serve again.
    context_.reset(sws_getCachedContext(context_.release(), frame.width, frame.height,
                                        static_cast<AVPixelFormat>(frame.format), width, height,
                                        AV_PIX_FMT_BGRA, SWS_AREA, nullptr, nullptr, nullptr));
    if (!context_) return false;
    // Into rows with room to spill, then packed row after row.
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    const std::size_t stride = (row + kRowSlack + 63) / 64 * 64;
    padded_.resize(stride * height + kRowSlack);
    std::uint8_t* planes[4] = {padded_.data(), nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(stride), 0, 0, 0};
    if (sws_scale(context_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) !=
        height) {
        return false;
    }
    bgra.resize(row * height);
    for (int y = 0; y < height; ++y) {
        std::memcpy(bgra.data() + row * y, padded_.data() + stride * y, row);
    }
    return true;
}

}  // namespace orv::cli::video
