#include "cli/sampling.h"

#include <algorithm>
#include <cmath>

namespace orv::cli {

namespace {

// Frame times come from each container's own time base, so a frame exactly
// half-way between two ticks (a 60 fps clip at 30 ticks a second) lands a
// rounding error before or after that point. Within a microsecond it is on it.
constexpr double kSameInstant = 1e-6;

}  // namespace

TickSampler::TickSampler(double start, double end, int fps) : start_(start), end_(end), fps_(fps) {}

double TickSampler::tick(std::uint64_t k) const { return start_ + static_cast<double>(k) / fps_; }

double TickSampler::halfway(std::uint64_t k) const {
    return start_ + (static_cast<double>(k) + 0.5) / fps_ - kSameInstant;
}

double TickSampler::nextTick() const { return tick(ticks_); }

bool TickSampler::tickBefore(double time) const {
    return halfway(ticks_) <= time && tick(ticks_) < end_;
}

bool TickSampler::anyTickIn(double from, double until) const {
    if (!(from < until)) return false;
    if (!std::isfinite(from)) from = start_ - 1;  // from the beginning of time
    // The frame takes the ticks whose half-way point lies in (from, until].
    // The first of them: a guess from the division, then moved by whole ticks
    // until the comparisons themselves agree.
    std::uint64_t k = 0;
    const double guess = std::floor((from - start_) * fps_);
    if (guess > 0) k = static_cast<std::uint64_t>(std::min(guess, 9e15));
    while (k > 0 && halfway(k - 1) > from) --k;
    while (halfway(k) <= from) ++k;
    return halfway(k) <= until && tick(k) < end_;
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
