#include "cli/sampling.h"

#include <algorithm>
#include <cmath>

namespace orv::cli {

namespace {

// Frame times come from each container's own time base, so a frame that
// starts on a tick (a 30 fps clip at 10 ticks a second) lands a rounding
// error before or after it. Within a microsecond it is on the tick.
constexpr double kSameInstant = 1e-6;

}  // namespace

TickSampler::TickSampler(double start, double end, int fps) : start_(start), end_(end), fps_(fps) {}

double TickSampler::nextTick() const { return start_ + static_cast<double>(ticks_) / fps_; }

bool TickSampler::tickBefore(double time) const {
    const double t = nextTick();
    return t < time - kSameInstant && t < end_;
}

bool TickSampler::anyTickIn(double from, double until) const {
    if (!(from < until) || !(from < end_)) return false;
    from -= kSameInstant;
    until -= kSameInstant;
    auto tick = [this](std::uint64_t k) { return start_ + static_cast<double>(k) / fps_; };
    if (!std::isfinite(from)) from = start_;  // from the beginning of time
    // The first tick not before `from`: a guess from the division, then moved
    // by whole ticks until the comparisons themselves agree.
    std::uint64_t k = 0;
    const double guess = std::floor((from - start_) * fps_);
    if (guess > 0) k = static_cast<std::uint64_t>(std::min(guess, 9e15));
    while (k > 0 && !(tick(k - 1) < from)) --k;
    while (tick(k) < from) ++k;
    return tick(k) < until && tick(k) < end_;
}

std::vector<std::size_t> sampleTicks(const std::vector<double>& times, double lastEnd, double start,
                                     double end, int fps) {
    TickSampler sampler(start, end, fps);
    std::vector<std::size_t> plan;
    bool held = false;
    std::size_t frame = 0;
    for (std::size_t i = 0; i < times.size(); ++i) {
        while (held && sampler.tickBefore(times[i])) {
            plan.push_back(frame);
            sampler.advance();
        }
        if (sampler.done()) return plan;
        held = true;
        frame = i;
    }
    while (held && sampler.tickBefore(lastEnd)) {
        plan.push_back(frame);
        sampler.advance();
    }
    return plan;
}

}  // namespace orv::cli
