// The times of a stream in seconds from its start.
#pragma once

#include <cstdint>

#include "cli/video/av_handles.h"

namespace orv::cli::video {

// Turns a stream's timestamps and durations, in its time base, into seconds
// from the stream's start; reads the stream as it is at each call.
class StreamClock {
  public:
    explicit StreamClock(const AVStream* stream) : stream_(stream) {}

    // Seconds from zero at which the stream starts (0 where it does not say).
    double startSeconds() const;
    // Seconds from the stream's start of a time in the stream's time base.
    double seconds(std::int64_t pts) const;
    // How long a frame is shown in seconds, from its packet's duration; where
    // the packet has none, one frame at the stream's frame rate, else 0.04.
    double durationSeconds(std::int64_t packetDuration) const;

  private:
    const AVStream* stream_;  // the stream, owned by its input
};

}  // namespace orv::cli::video
