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

    // Opens the file's best video stream; a failure names the file and the reason.
    Status open(const std::string& path);

    // Seconds from the stream's start that the container declares, or -1.
    double declaredDuration() const;
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

    // Decodes the next frame in presentation order: true with a frame, false
    // at the end of the stream, or a failure for a damaged stream or a stop.
    Result<bool> next();
    // The current frame's time in seconds from the stream's start, and how
    // long it is shown.
    double frameTime() const;
    double frameDuration() const;

    // Scales the current frame to width x height BGRA pixels (top row first).
    Status scale(int width, int height, std::vector<std::uint8_t>& bgra);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orv::cli
