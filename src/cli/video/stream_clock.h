// The times of a stream in seconds from its first frame.
#pragma once

#include <cstdint>

#include "cli/video/av_handles.h"

namespace orv::cli::video {

// Turns a stream's timestamps and durations, in its time base, into seconds
// from `origin`, the time of its first frame (where that is not known yet,
// the time at which the container says the stream starts, else 0), plus
// `phase`: where the first frame stands from the nearest tick of a clock
// running from the container's start (see tickPhase()).
class StreamClock {
  public:
    StreamClock(const AVStream* stream, std::int64_t origin, double phase = 0);

    // The time at which the container says the stream starts, else 0.
    static std::int64_t declaredStart(const AVStream* stream);
    // Seconds from the origin of a time in the stream's time base.
    double seconds(std::int64_t pts) const;
    // The time in the stream's time base `seconds` after the origin.
    std::int64_t at(double seconds) const;
    // How long a frame is shown in seconds, from its packet's duration; where
    // the packet has none, one frame at the stream's frame rate, else 0.04.
    double durationSeconds(std::int64_t packetDuration) const;

  private:
    const AVStream* stream_;  // the stream, owned by its input
    std::int64_t origin_;     // the first frame's time, in the stream's time base
    double phase_;            // seconds added to every time from the origin
};

// How far a frame `seconds` after the container's start stands from the
// nearest tick of a clock of `fps` ticks a second that starts there (of two
// as near, the later), in seconds: from minus half a tick to under half a tick.
double tickPhase(double seconds, int fps);

}  // namespace orv::cli::video
