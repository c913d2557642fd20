// Tick-aware skipping: which frames no capture tick takes, known from the
// packets' times before the frames are decoded, so that they can come out
// without a picture and, where nothing refers to them, go undecoded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

#include "cli/sampling.h"
#include "cli/video/stream_clock.h"

namespace orv::cli::video {

// The packets read last: their presentation times and durations. A frame's
// duration is its packet's, found again when the frame comes out; the frame
// after a packet's, in presentation order, is at the latest the nearest later
// time among them.
class RecentPackets {
  public:
    // A packet was read.
    void note(std::int64_t pts, std::int64_t duration) {
        entries_[next_++ % entries_.size()] = {pts, duration};
    }
    // The duration of the packet at `pts`, or 0 where none is known.
    std::int64_t duration(std::int64_t pts) const;
    // The nearest time after `pts`, or AV_NOPTS_VALUE.
    std::int64_t nextAfter(std::int64_t pts) const;
    // Forgets every packet.
    void clear() { *this = RecentPackets{}; }

  private:
    // One packet's times.
    struct Entry {
        std::int64_t pts = AV_NOPTS_VALUE;  // its presentation time
        std::int64_t duration = 0;          // how long its frame shows, 0 if unknown
    };
    std::array<Entry, 256> entries_{};  // the last packets, oldest overwritten first
    std::size_t next_ = 0;              // counts the packets noted, to find the oldest
};

// A frame that no tick takes, to be told without a picture.
struct UntakenFrame {
    std::int64_t pts = 0;       // its time in the stream's time base
    std::int64_t duration = 0;  // its packet's duration, 0 if unknown
};

// What the skipping says of a frame that came out of the decoder.
struct DecodedFrame {
    std::int64_t packetDuration = 0;  // its packet's duration, 0 if unknown
    bool pictured = true;             // some tick takes it: it needs its picture
};

// Chooses the frames to skip for the capture clock that will sample them,
// and keeps those skipped until they are told in their place among the
// frames decoded. The ticks' choice of frame stays exactly as with every
// frame decoded.
class FrameSkipper {
  public:
    // The capture clock that will sample the frames (see TickSampler);
    // without one no frame is skipped.
    void planTicks(double start, double end, int fps);

    // A packet of the stream was read.
    void noteRead(std::int64_t pts, std::int64_t duration) { recent_.note(pts, duration); }
    // Whether no tick takes the frame of the packet at `pts`, known before
    // it is decoded.
    bool noTickTakes(std::int64_t pts, const StreamClock& clock) const;
    // The frame of the packet at `pts`, which no tick takes, is left out or
    // decoded only to be passed over: it is told when its time comes.
    void noteUntaken(std::int64_t pts, std::int64_t duration) { untaken_.emplace(pts, duration); }

    // Takes out the first untaken frame not yet told if it comes before `pts`.
    std::optional<UntakenFrame> untakenBefore(std::int64_t pts);
    // Tells a decoded frame with these times: its packet's duration, and
    // whether a tick takes it.
    DecodedFrame decoded(std::int64_t pts, std::int64_t bestEffort);
    // Whether a frame was told since the start or the last seek.
    bool anyTold() const { return lastTold_ != AV_NOPTS_VALUE; }
    // Reading goes on from elsewhere: forgets the packets and frames so far.
    void restart();

  private:
    std::optional<TickSampler> plan_;  // the capture clock, once planned
    bool skipping_ = false;            // off for good once frame times stop following packet times
    RecentPackets recent_;             // the packets read last
    // Frames no tick takes, by time, with their packet durations: left out,
    // or decoded and to be passed over, but not yet told.
    std::map<std::int64_t, std::int64_t> untaken_;
    std::int64_t lastTold_ = AV_NOPTS_VALUE;  // the time of the last frame told
};

}  // namespace orv::cli::video
