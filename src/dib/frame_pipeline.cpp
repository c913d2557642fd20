#include "dib/frame_pipeline.h"

#include <algorithm>
#include <cstring>

#include "common/clock.h"
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

void Picture::drawAt(const Picture& other, std::int32_t left, std::int32_t top) {
    const std::int64_t x0 = std::max(0, left), y0 = std::max(0, top);
    const std::int64_t x1 = std::min<std::int64_t>(width, std::int64_t{left} + other.width);
    const std::int64_t y1 = std::min<std::int64_t>(height, std::int64_t{top} + other.height);
    if (x1 <= x0) return;
    for (std::int64_t y = y0; y < y1; ++y) {
        std::memcpy(pixels.data() + y * width + x0,
                    other.pixels.data() + (y - top) * other.width + (x0 - left),
                    static_cast<std::size_t>(x1 - x0) * 4);
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

void FramePipeline::setReduction(const Reduction& reduction) {
    reduction_ = reduction;
    tone_ = ToneCurve(reduction.tone);
}

void FramePipeline::setFrameSize(FrameSize size) {
    size_ = size;
    const bool own = size != kLcdSize;
    sizedEntries_.assign(own ? size.pixels() : 0, 0);
    sizedPages_.assign(own ? size.bytes() : 0, 0);
}

std::span<std::int32_t> FramePipeline::entries() {
    if (size_ == kLcdSize) return state_.MonoFrame;
    return sizedEntries_;
}

std::span<std::uint8_t> FramePipeline::packedBytes() {
    if (size_ == kLcdSize) return LcdPageBuffer;
    return sizedPages_;
}

std::span<const std::uint8_t> FramePipeline::packed() const {
    if (size_ == kLcdSize) return LcdPageBuffer;
    return sizedPages_;
}

Failure FramePipeline::refuse(const std::string& why) {
    for (FrameSink* s : sinks_) s->refused(why);
    return fail(why);
}

Status FramePipeline::takePicture(const Picture& captured, std::int32_t left, std::int32_t top) {
    std::fill(source_.pixels.begin(), source_.pixels.end(), backColour_);  // no allocation a tick
    source_.drawAt(captured, left, top);
    takenLeft_ = left;
    takenTop_ = top;
    takenWidth_ = captured.width;
    takenHeight_ = captured.height;
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
    const bool engrave = reduction_.method == Dither::Engrave;
    const std::string source =
        "a source of " + std::to_string(s.SourceWidth) + " x " + std::to_string(s.SourceHeight);
    if (!engrave && (s.SourceWidth < size_.width || s.SourceHeight < size_.height)) {
        return refuse(source + " pixels does not fill the " + sizeWords(size_) + " frame");
    }
    // The engrave fills the entries column by column, as many rows a column
    // as the source has less one.
    if (engrave && size_ != kLcdSize &&
        (s.SourceWidth != size_.width + 1 || s.SourceHeight != size_.height + 1)) {
        return refuse(source + " pixels is not one column and one row more than the " +
                      sizeWords(size_) + " frame");
    }
    applyTone(reduction_.method, tone_, s.SourceGrid, takenLeft_,
              takenTop_ + size_.height - s.SourceHeight, takenWidth_, takenHeight_, size_);
    Result<std::int32_t> ms =
        engrave ? Pencil(s.SourceGrid, s.PurposeGrid, s.SourceWidth, s.SourceHeight, kBitsPerPixel,
                         entries(), s.MonoCount, random_)
                : dither();
    if (!ms) return refuse(ms.error());
    if (engrave) {
        s.PurposeWidth = s.SourceWidth;
        s.PurposeHeight = s.SourceHeight;
    }
    if (reduction_.invert) invertFrame(entries());
    for (FrameSink* sink : sinks_) sink->engraved(ms.value());
    return Done{};
}

std::int32_t FramePipeline::dither() {
    const Stopwatch watch;
    ditherFrame(reduction_.method, state_.SourceGrid, reduction_.threshold, size_, entries());
    state_.MonoCount = static_cast<std::int32_t>(entries().size());
    return watch.elapsedMs();
}

void FramePipeline::pack() { packPages(entries(), size_, packedBytes()); }

Status FramePipeline::record() {
    FrameText = buildFrameRecord(packed());
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
