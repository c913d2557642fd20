// Which decoded video frame each capture tick takes. Tick k falls at
// start + k / fps and shows the latest frame whose time is not after it (a
// frame within a microsecond of a tick counts as on it); ticks
// before the first frame show the first frame. Ticks run from the start for
// as long as they fall before the end. Needs no decoder: the times are enough.
#pragma once

#include <cstdint>
#include <vector>

namespace orv::cli {

class TickSampler {
  public:
    TickSampler(double start, double end, int fps);

    // The time of the next tick.
    double nextTick() const;
    // Whether the next tick falls before `time` and before the end: the frame
    // on show takes it when the next frame starts at `time`.
    bool tickBefore(double time) const;
    // The next tick has been taken.
    void advance() { ++ticks_; }
    // No tick is left before the end.
    bool done() const { return nextTick() >= end_; }
    std::uint64_t ticks() const { return ticks_; }
    // Whether any tick, counted from the first, falls in [from, until) and
    // before the end: a frame shown from `from` until the next frame at
    // `until` is taken by some tick exactly when this says yes (unless it is
    // the first frame, which also takes the ticks before it). The same
    // arithmetic as tickBefore(), so the answer agrees with the walk.
    bool anyTickIn(double from, double until) const;

  private:
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
