#include "cli/sampling.h"

namespace orv::cli {

TickSampler::TickSampler(double start, double end, int fps) : start_(start), end_(end), fps_(fps) {}

double TickSampler::nextTick() const { return start_ + static_cast<double>(ticks_) / fps_; }

bool TickSampler::tickBefore(double time) const {
    const double t = nextTick();
    return t < time && t < end_;
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
