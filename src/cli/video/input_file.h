// Demuxing: a video file or standard input opened with FFmpeg, the video
// stream chosen from it, what the container says of that stream, and seeking.
#pragma once

#include <cstdint>
#include <string>

#include "cli/video/av_handles.h"
#include "cli/video/stream_clock.h"
#include "common/result.h"

namespace orv::cli::video {

// Whether the user asked to stop: the caller's question, asked by the reader
// while it waits and by FFmpeg's interrupt check.
struct StopQuestion {
    bool (*asked)() = nullptr;  // the caller's question, or none: never stop
    // Asks the question: true to stop.
    bool operator()() const { return asked && asked(); }
};

// An opened input and the video stream to decode from it.
class InputFile {
  public:
    // `stopRequested` is asked while FFmpeg waits for input.
    explicit InputFile(bool (*stopRequested)()) : stop_{stopRequested} {}
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens `path` ("-": standard input) and chooses its best video stream
    // that is not a cover picture; a failure names the input and the reason.
    Status open(const std::string& path);

    // The input as messages name it.
    const std::string& name() const { return name_; }
    // Whether the user asked to stop.
    bool stopped() const { return stop_(); }
    // The opened input, to read packets from.
    AVFormatContext* format() const { return format_.get(); }
    // The index of the video stream among the input's streams.
    int streamIndex() const { return stream_; }
    // The video stream.
    AVStream* stream() const { return format_->streams[stream_]; }
    // The codec that decodes the stream.
    const AVCodec* codec() const { return codec_; }
    // Whether the input is one picture (PNG, JPEG, BMP...), not a video.
    bool still() const { return still_; }

    // Seconds from the stream's start that the container declares, or -1.
    double declaredDuration() const;
    // The container's start in the stream's time base, as the ffmpeg program
    // reads it: the earliest of its streams', sound included, but for a
    // format whose times may jump (a transport stream), where only the
    // streams read count; or AV_NOPTS_VALUE.
    std::int64_t containerStart() const;
    // Whether the file is a transport stream that ends inside one of its
    // fixed-size packets: cut short, whatever its last picture shows.
    bool endsInsideAPacket() const;
    // Width over height as stored (sample aspect included), before any turn.
    double displayAspect() const;
    // Clockwise quarter turns (0 to 3) that show the picture upright.
    int quarterTurns() const;
    // Puts reading at a key frame at or before `seconds` on `clock` (the
    // stream's, see StreamClock), else at the start; false where the input
    // cannot seek at all and reading goes on from where it is.
    bool seekBefore(double seconds, const StreamClock& clock);

  private:
    // Whether the next picture read is a key frame shown at or before `pts`.
    bool firstPictureStandsAloneBy(std::int64_t pts);

    StopQuestion stop_;               // handed to FFmpeg's interrupt check
    std::string name_;                // the input as messages name it
    InputPtr format_;                 // the opened input, once open
    int stream_ = -1;                 // the index of the video stream
    const AVCodec* codec_ = nullptr;  // the codec that decodes it
    bool still_ = false;              // one picture, not a video
};

}  // namespace orv::cli::video
