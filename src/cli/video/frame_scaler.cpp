#include "cli/video/frame_scaler.h"

namespace orv::cli::video {

bool FrameScaler::scale(const AVFrame& frame, int width, int height,
                        std::vector<std::uint8_t>& bgra) {
    // Frees the context it is given where that cannot serve again.
    context_.reset(sws_getCachedContext(context_.release(), frame.width, frame.height,
                                        static_cast<AVPixelFormat>(frame.format), width, height,
                                        AV_PIX_FMT_BGRA, SWS_AREA, nullptr, nullptr, nullptr));
    if (!context_) return false;
    bgra.resize(static_cast<std::size_t>(width) * height * 4);
    std::uint8_t* planes[4] = {bgra.data(), nullptr, nullptr, nullptr};
    int strides[4] = {width * 4, 0, 0, 0};
    return sws_scale(context_.get(), frame.data, frame.linesize, 0, frame.height, planes,
                     strides) == height;
}

}  // namespace orv::cli::video
