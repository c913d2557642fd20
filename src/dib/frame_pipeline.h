// FramePipeline: the main job's data path, from a captured picture to the
// one-bit frame, its packed pages and its record, and on to whoever shows,
// files or sends them. The windows hand it pictures and paint what it tells
// its sinks; no picture travels through a window's surface. The command line
// hands it the pictures of a video or of a picture file, and files the records.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/random.h"
#include "common/result.h"
#include "dib/image_state.h"
#include "dib/transfer.h"
#include "lcd/dither.h"
#include "lcd/frame.h"
#include "lcd/frame_size.h"

namespace orv {

// A picture the pipeline owns: `height` rows of `width` 32-bit pixels as a
// surface holds them (bytes blue, green, red, fourth byte), top row first.
struct Picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;

    // A picture of one colour (0xAARRGGBB as the fourth, red, green, blue bytes).
    static Picture filled(std::int32_t width, std::int32_t height, std::uint32_t colour);
    // Copies `other` over this one with its top-left corner at (left, top),
    // clipped.
    void drawAt(const Picture& other, std::int32_t left = 0, std::int32_t top = 0);
    SurfaceView view();
};

// Where the pipeline's results go. Every step calls every sink in the order
// they were added; a sink overrides the steps it cares about.
class FrameSink {
  public:
    virtual ~FrameSink() = default;
    // A new source picture, as the engrave will read it.
    virtual void sourceChanged(const Picture& /*source*/) {}
    // The source was read into SourceGrid in `ms`.
    virtual void dataRead(std::int32_t /*ms*/) {}
    // The reduction wrote MonoFrame (and the engrave PurposeGrid) in `ms`.
    virtual void engraved(std::int32_t /*ms*/) {}
    // A step was refused; nothing it would have written changed.
    virtual void refused(const std::string& /*why*/) {}
    // The frame's record, built from the packed pages; a failure when it
    // could not be kept (the step then counts as not done).
    virtual Status recorded(const std::string& /*record*/) { return Done{}; }
    // The packed pages, to send while the live stream runs.
    virtual void streamed(const LcdPageBufferArray& /*pages*/) {}
};

class FramePipeline {
  public:
    // `state` holds the grids and MonoFrame; `random` is the engrave's dither,
    // drawn from in the order the steps run.
    FramePipeline(ImageState& state, rnd::Sequence& random) : state_(state), random_(random) {}

    // The source picture's size and the colour shown where a captured
    // picture does not reach; the source becomes that colour.
    void setSourceFrame(std::int32_t width, std::int32_t height, std::uint32_t backColour);
    // How the source becomes the frame; the tool's own engrave until set.
    void setReduction(const Reduction& reduction);
    // The frame's size, the LCD's 128 x 64 until set. A frame of another
    // size has entries and pages of the pipeline's own (MonoFrame and pages()
    // stay the LCD's), is engraved from a source one column and one row
    // larger, and each of its pixels is reduced as at 128 x 64.
    void setFrameSize(FrameSize size);
    void addSink(FrameSink& sink) { sinks_.push_back(&sink); }

    // A captured picture becomes the source, its top-left corner at (left,
    // top) on the back colour, and is reduced at once. Fails when the
    // reduction was refused.
    Status takePicture(const Picture& captured, std::int32_t left = 0, std::int32_t top = 0);
    // Reads the source into SourceGrid (GetData). A refusal goes to the
    // sinks' refused() and is returned.
    Status getData();
    // Reads the source, puts the tone curve on the part of it that the last
    // picture taken covers (the back colour stays as it is) and reduces it
    // into MonoFrame: by the engrave, which also draws its picture into
    // PurposeGrid, or by another method, which takes a source of at least
    // the frame's size. Frame row r is source row r + height - 64 (64: the
    // frame's height): a 129 x 65 source, the tool's, leaves out its top row
    // and its right column.
    Status engrave();
    // Packs MonoFrame into the pages (bit-byte).
    void pack();
    // Builds the pages' record and gives it to every sink; the first failure
    // of one that could not keep it.
    Status record();
    // Hands the packed pages to the sinks that send them.
    void stream();

    const Picture& source() const { return source_; }
    LcdPageBufferArray& pages() { return LcdPageBuffer; }
    const LcdPageBufferArray& pages() const { return LcdPageBuffer; }
    // The packed frame at its size: pages() at 128 x 64.
    std::span<const std::uint8_t> packed() const;
    const std::string& lastRecord() const { return FrameText; }

  private:
    Failure refuse(const std::string& why);
    // MonoFrame by a method other than the engrave; its time.
    std::int32_t dither();
    // The frame's entries and pages: MonoFrame and LcdPageBuffer at 128 x 64.
    std::span<std::int32_t> entries();
    std::span<std::uint8_t> packedBytes();

    ImageState& state_;
    rnd::Sequence& random_;
    std::vector<FrameSink*> sinks_;
    Reduction reduction_;
    ToneCurve tone_;
    Picture source_;
    std::uint32_t backColour_ = 0xFF000000;
    // The part of the source the last picture taken covers.
    std::int32_t takenLeft_ = 0, takenTop_ = 0, takenWidth_ = 0, takenHeight_ = 0;
    LcdPageBufferArray LcdPageBuffer{};  // the packed frame
    std::string FrameText;               // text of the last record
    FrameSize size_ = kLcdSize;
    std::vector<std::int32_t> sizedEntries_;  // at another size than 128 x 64
    std::vector<std::uint8_t> sizedPages_;
};

}  // namespace orv
