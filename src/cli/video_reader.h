// Decoding a video file with FFmpeg's libraries, frame by frame, and scaling
// frames to small BGRA pictures.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/result.h"

namespace orv::cli {

class VideoReader {
  public:
    // `stopRequested` is asked while the reader waits for input; when it says
    // yes, the blocked call gives up and next() fails as interrupted.
    explicit VideoReader(bool (*stopRequested)() = nullptr);
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    // Opens the file's best video stream; a failure names the file and the
    // reason. The decoder itself starts with the first next(), so that the
    // calls below can still shape it.
    Status open(const std::string& path);

    // Frames are only ever scaled down to width x height: a decoder that can
    // decode at a half, a quarter or an eighth of the size (MJPEG can) does so,
    // as small as still leaves at least that size. Before the first next().
    void preferSize(int width, int height);
    // The capture clock that will sample the frames (see TickSampler): a frame
    // that no tick takes comes out without a picture, only with its time, and
    // is not decoded at all where no other frame needs it. The ticks' choice
    // of frame stays exactly as with every frame decoded. Before the first
    // next().
    void planTicks(double start, double end, int fps);
    // Times are told so that a capture clock of `fps` ticks a second from 0
    // falls where ffmpeg's fps filter puts its ticks: on the container's
    // timeline, from its start. The first frame is then told up to half a
    // tick from 0, and the ticks take the frames that filter takes. Before
    // the first next().
    void alignTicks(int fps);

    // Seconds from the stream's start that the container declares, or -1.
    double declaredDuration() const;
    // Whether the file ends inside one of its container's packets (a
    // transport stream cut short).
    bool endsInsideAPacket() const;
    // Width over height as stored (sample aspect included), before any turn.
    double displayAspect() const;
    // Clockwise quarter turns (0 to 3) that show the picture upright, as the
    // stream's display matrix asks (a phone's portrait clip).
    int quarterTurns() const;
    // Whether the input is a still picture (PNG, JPEG, BMP...), not a video.
    bool stillPicture() const;
    // Seeks so that decoding continues from at or before `seconds`; where the
    // file cannot seek, decoding goes on from where it is, which gives the
    // same ticks, only later.
    void seekBefore(double seconds);

    // Decodes the next frame in presentation order: Done with a frame, the
    // end of the stream, or a failure for a damaged stream or a stop.
    Next<> next();
    // Whether the current frame has a picture to scale; one that no tick
    // takes (see planTicks()) may have only its time and duration.
    bool hasPicture() const;
    // The current frame's time in seconds from the stream's start, and how
    // long it is shown.
    double frameTime() const;
    double frameDuration() const;

    // Scales the current frame, which has a picture, to width x height BGRA
    // pixels (top row first).
    Status scale(int width, int height, std::vector<std::uint8_t>& bgra);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orv::cli
