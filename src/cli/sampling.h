// Which decoded video frame each capture tick takes. Tick k falls at
// start + k / fps. Every frame counts from the tick nearest its start (a frame
// half-way between two ticks counts from the later one), and a tick takes the
// last frame counted from it or from an earlier tick; ticks before the first
// frame take the first frame. The last frame shows until its end, which
// counts the same way: tick k is there when the clip ends at or after its
// half-way point to tick k + 1. This is the rule of ffmpeg's fps filter, and
// a container that rounds its times (Matroska keeps milliseconds) cannot move
// a frame to another tick: at the clip's own rate every frame comes out once.
// Ticks run from the start for as long as they fall before the end asked for.
// Needs no decoder: the times are enough.
#pragma once

#include <cstdint>
#include <vector>

namespace orv::cli {

class TickSampler {
  public:
    TickSampler(double start, double end, int fps);

    // The time of the next tick.
    double nextTick() const;
    // Whether the frame on show takes the next tick when the next frame
    // starts (or the clip ends) at `time`, and that tick falls before the end.
    bool tickBefore(double time) const;
    // The next tick has been taken.
    void advance() { ++ticks_; }
    // No tick is left before the end.
    bool done() const { return nextTick() >= end_; }
    std::uint64_t ticks() const { return ticks_; }
    // Whether any tick, counted from the first, is taken by a frame that
    // starts at `from` and is followed by the next frame at `until` (unless it
    // is the first frame, which also takes the ticks before it). The same
    // arithmetic as tickBefore(), so the answer agrees with the walk.
    bool anyTickIn(double from, double until) const;

  private:
    // The time from which a frame counts from tick k + 1 rather than k: half
    // way between the two, less the rounding of a container's time base.
    double halfway(std::uint64_t k) const;
    double tick(std::uint64_t k) const;

    double start_, end_;
    int fps_;
    std::uint64_t ticks_ = 0;
};

// The whole plan at once, for frames at `times` (in order; the last one shown
// until `lastEnd`): the index of the frame each tick takes. The convert
// command walks the same sampler frame by frame.
std::vector<std::size_t> sampleTicks(const std::vector<double>& times, double lastEnd, double start,
                                     double end, int fps);

}  // namespace orv::cli
