#include "dib/frame_pipeline.h"

#include <algorithm>
#include <cstring>

#include "lcd/frame_record.h"
#include "lcd/mono.h"
#include "lcd/page_packing.h"

namespace orv {

Picture Picture::filled(std::int32_t width, std::int32_t height, std::uint32_t colour) {
    Picture p;
    p.width = std::max(0, width);
    p.height = std::max(0, height);
    p.pixels.assign(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height), colour);
    return p;
}

void Picture::drawAt(const Picture& other) {
    const std::int32_t cols = std::min(width, other.width);
    const std::int32_t rows = std::min(height, other.height);
    if (cols <= 0) return;
    for (std::int32_t y = 0; y < rows; ++y) {
        std::memcpy(pixels.data() + static_cast<std::size_t>(y) * width,
                    other.pixels.data() + static_cast<std::size_t>(y) * other.width,
                    static_cast<std::size_t>(cols) * 4);
    }
}

SurfaceView Picture::view() {
    return SurfaceView{reinterpret_cast<std::uint8_t*>(pixels.data()), width, height,
                       static_cast<std::int64_t>(width) * 4};
}

void FramePipeline::setSourceFrame(std::int32_t width, std::int32_t height,
                                   std::uint32_t backColour) {
    backColour_ = backColour;
    source_ = Picture::filled(width, height, backColour);
}

Failure FramePipeline::refuse(const std::string& why) {
    for (FrameSink* s : sinks_) s->refused(why);
    return fail(why);
}

Status FramePipeline::takePicture(const Picture& captured) {
    std::fill(source_.pixels.begin(), source_.pixels.end(), backColour_);  // no allocation a tick
    source_.drawAt(captured);
    for (FrameSink* s : sinks_) s->sourceChanged(source_);
    return engrave();
}

Status FramePipeline::getData() {
    const std::int32_t width = source_.width;
    const std::int32_t height = source_.height;
    Result<std::int32_t> ms =
        GetData(source_.view(), 0, 0, width - 1, height - 1, state_.SourceGrid, kBitsPerPixel);
    // A refused read keeps the grid and its size together as they were.
    if (!ms) return refuse(ms.error());
    state_.SourceWidth = width;
    state_.SourceHeight = height;
    for (FrameSink* s : sinks_) s->dataRead(ms.value());
    return Done{};
}

Status FramePipeline::engrave() {
    if (Status read = getData(); !read) return read;
    ImageState& s = state_;
    Result<std::int32_t> ms = Pencil(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight,
                                     kBitsPerPixel, s.MonoFrame, s.MonoCount, random_);
    if (!ms) return refuse(ms.error());
    s.PurposeWidth = s.SourceWidth;
    s.PurposeHeight = s.SourceHeight;
    for (FrameSink* sink : sinks_) sink->engraved(ms.value());
    return Done{};
}

void FramePipeline::pack() { packLcdPages(state_.MonoFrame, LcdPageBuffer); }

Status FramePipeline::record() {
    FrameText = buildFrameRecord(LcdPageBuffer);
    Status kept = Done{};
    for (FrameSink* s : sinks_) {
        Status one = s->recorded(FrameText);
        if (kept && !one) kept = one;
    }
    return kept;
}

void FramePipeline::stream() {
    for (FrameSink* s : sinks_) s->streamed(LcdPageBuffer);
}

}  // namespace orv
