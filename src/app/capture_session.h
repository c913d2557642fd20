// CaptureSession: the capture clock's job apart from the windows. It holds
// the capture rectangle as numbers, the frame rate, whether frames are
// recorded and whether the clock runs. A tick grabs the rectangle from its
// source into the frame pipeline, which engraves and packs the frame, records
// it while recording is on and streams it; the windows watch the pipeline's
// sinks and drive the clock's timer from running() and periodMs().
#pragma once

#include <cstdint>
#include <optional>

#include "app/capture_clock.h"
#include "dib/frame_pipeline.h"

namespace orv::app {

// Where the clock's picture comes from: the screen, or the player's video.
class TickSource {
  public:
    virtual ~TickSource() = default;
    // Grabs `rect` into `picture`, whose size and pixels are the source's to
    // set; false when nothing could be read (the source says why).
    virtual bool grab(const CaptureRectValues& rect, Picture& picture) = 0;
};

// What became of a tick.
enum class TickOutcome {
    NoRectangle,  // the rectangle is not set (a box that is not a number): nothing grabbed
    NotGrabbed,   // the source could read nothing: no frame
    Refused,      // the engrave refused the picture: nothing packed, filed or sent
    NotRecorded,  // the frame was made and sent, but its record could not be kept
    Made,         // the frame was made and sent (and recorded, while recording)
};

class CaptureSession {
  public:
    CaptureSession(FramePipeline& pipeline, TickSource& source)
        : pipeline_(pipeline), source_(source) {}

    // The capture rectangle; none while the boxes that show it do not read as one.
    const std::optional<CaptureRectValues>& rect() const { return rect_; }
    void setRect(std::optional<CaptureRectValues> rect) { rect_ = rect; }

    // Frames per second, kMinFrameRate .. kMaxFrameRate (others are refused),
    // and the clock's period for it.
    int frameRate() const { return frameRate_; }
    Status setFrameRate(int framesPerSecond);
    int periodMs() const { return captureIntervalMs(frameRate_); }

    bool recording() const { return recording_; }
    void setRecording(bool on) { recording_ = on; }

    bool running() const { return running_; }
    void start() { running_ = true; }
    void stop() { running_ = false; }

    // One tick: grab, then the pipeline's engrave, pack, record (while
    // recording) and stream; a grab or engrave that fails ends it there.
    TickOutcome tick();
    // The picture the last tick grabbed.
    const Picture& picture() const { return picture_; }

  private:
    FramePipeline& pipeline_;
    TickSource& source_;
    std::optional<CaptureRectValues> rect_;
    int frameRate_ = kInitialFrameRate;
    bool recording_ = false;
    bool running_ = false;
    Picture picture_;  // refilled in place every tick
};

}  // namespace orv::app
